// velkor: reads the adjust block from the MurelPage and prints, backs up or checks it.
#include "app/CMurelAdjSignalThread.h"
#include "app/MurelAdjMain.h"

// The arguments are read through the option source, which also expands "@file" arguments.
int main(int /*argc*/, char** /*argv*/) {
    return murelAdjMain({&terminationRequests, CMurelAdjSignalThread::takePendingSignals,
                         CMurelAdjSignalThread::takeLastSignals});
}
