// Attaching and creating the shared access object under the create lock, the POSIX wrappers, and
// the instrumented attach.
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/ForkSupport.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>

namespace {

const char* const kDebugSwitches[] = {
    "MURELPAGE_DEBUG_EVO", "MURELPAGE_DEBUG_VERBOSE", "MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT",
    "MURELPAGE_DEBUG_EVO_SIMU_SEMDESCCORRUPT", "MURELPAGE_DEBUG_EVO_SIMU_GCORRUPT"};

class MurelShAccObjTest : public testing::Test {
protected:
    void SetUp() override { clearSwitches(); }
    void TearDown() override {
        clearSwitches();
        for (MurelShAccObj* object : m_mapped) {
            munmap(object, MURELSHACCOBJ_SIZE);
        }
        shm_unlink(m_name.c_str());
    }
    static void clearSwitches() {
        for (const char* name : kDebugSwitches) {
            unsetenv(name);
        }
    }
    MurelShAccObj* attach() {
        MurelShAccObj* object = nullptr;
        if (MurelShAccObj_attach(m_name.c_str(), &object) != 0) {
            return nullptr;
        }
        m_mapped.push_back(object);
        return object;
    }

    std::string m_name = uniqueShmName("accobj");
    std::vector<MurelShAccObj*> m_mapped;
};

TEST_F(MurelShAccObjTest, FirstAttachCreatesAndInitialisesTheObject) {
    const mode_t oldMask = umask(022);
    CCapturedSlog log;
    const uint32_t before = static_cast<uint32_t>(time(nullptr));
    MurelShAccObj* object = attach();
    umask(oldMask);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->changeCounter, 0u);
    EXPECT_GE(object->timeStamp, before);
    EXPECT_EQ(object->lock.magic, MURELRWLOCK_MAGIC);
    EXPECT_EQ(object->lock.shared, 1u);
    struct stat status {};
    ASSERT_EQ(stat(("/dev/shm" + m_name).c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 56);
    EXPECT_EQ(status.st_mode & 0777, 0644u); // 0666 less the umask
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text,
              murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE") + "WARNING: shm_open('" +
                  m_name + "'): failed as shared memory object does not exist, to be created");
}

TEST_F(MurelShAccObjTest, LaterAttachOpensTheSameObjectWithoutReinitialisingIt) {
    MurelShAccObj* first = attach();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(MurelShAccObj_timedLockWrite(first, MURELSHACCOBJ_WAIT_FOREVER), 0);
    first->changeCounter = 5;
    const pid_t child = forkChild([&] {
        MurelShAccObj* second = nullptr;
        if (MurelShAccObj_attach(m_name.c_str(), &second) != 0) {
            return 2;
        }
        if (second->changeCounter != 5) {
            return 3;
        }
        // The lock is still held by the parent: it was not initialised again.
        return MurelShAccObj_timedLockROnly(second, 1) == ETIMEDOUT ? 0 : 4;
    });
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_EQ(MurelShAccObj_unlock(first), 0);
    CCapturedSlog log;
    MurelShAccObj* again = attach();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->changeCounter, 5u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(MurelShAccObjTest, EmptyLockPathFails) {
    MurelShAccObj* object = nullptr;
    EXPECT_EQ(MurelShAccObj_attach("", &object), -1);
    EXPECT_EQ(MurelShAccObj_attach(nullptr, &object), -1);
    EXPECT_EQ(object, nullptr);
}

TEST_F(MurelShAccObjTest, ExistingObjectThatIsTooShortIsLeftAlone) {
    const int descriptor = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(ftruncate(descriptor, 10), 0);
    close(descriptor);
    CCapturedSlog log;
    EXPECT_EQ(attach(), nullptr);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{murelPagePrefix("MurelShAccObj_attachImplRelease") +
                                       "ERROR: shared access object '" + m_name +
                                       "' is shorter than 56 bytes"});
    struct stat status {};
    ASSERT_EQ(stat(("/dev/shm" + m_name).c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 10);
}

TEST_F(MurelShAccObjTest, WrappersLogTheFailedCall) {
    const int descriptor = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0);
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_openSharedMemoryRWrite(nullptr), -1);
    EXPECT_EQ(MurelShAccObj_createSharedMemory(m_name.c_str()), -1); // exists: never re-created
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(-1, 56), 0);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(-1), 0);
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(descriptor, 56), 1);
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(descriptor), 1);
    const std::vector<std::string> expected = {
        murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE") +
            "ERROR: shm_open('NULL'): failed with <22|Invalid argument>",
        murelPagePrefix("MURELPAGE_CREATE_SHARED_MEMORY") + "ERROR: shm_open('" + m_name +
            "'): failed with <17|File exists>",
        murelPagePrefix("MURELPAGE_RESIZE_SHARED_MEMORY") +
            "ERROR: ftruncate(): failed with <9|Bad file descriptor>",
        murelPagePrefix("MURELPAGE_CLOSE_SHARED_MEMORY") +
            "ERROR: close(): failed with <9|Bad file descriptor>",
    };
    EXPECT_EQ(log.texts(), expected);
}

void onSignal(int) {}

TEST_F(MurelShAccObjTest, SemaphoreWaitIsRepeatedAfterAnInterruption) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    sem_t semaphore;
    ASSERT_EQ(sem_init(&semaphore, 0, 0), 0);
    const pthread_t waiter = pthread_self();
    std::thread helper([&] {
        sleepMs(200);
        pthread_kill(waiter, SIGUSR1);
        sleepMs(200);
        sem_post(&semaphore);
    });
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_waitForUnlockSemaphore(&semaphore), 1);
    helper.join();
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{murelPagePrefix("MUREL_WAIT_FOR_UNLOCK_SEMAPHORE") +
                                       "WARNING: MURELPAGE_COND_EINTR"});
    sem_destroy(&semaphore);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(MurelShAccObjTest, MissingPlaceForThePointerIsAFatalError) {
    EXPECT_EXIT(MurelShAccObj_attach(m_name.c_str(), nullptr), testing::ExitedWithCode(1),
                "murelshaccobj:[0-9]+: FATAL ERROR \"Pointer to shared object pointer is NULL\" "
                "occured");
}

// ---- instrumented attach ----

std::vector<std::string> linesOf(const CCapturedSlog& log, const std::string& function) {
    std::vector<std::string> result;
    const std::string prefix = murelPagePrefix(function);
    for (const std::string& text : log.texts()) {
        if (text.rfind(prefix, 0) == 0) {
            result.push_back(text.substr(prefix.size()));
        }
    }
    return result;
}

TEST_F(MurelShAccObjTest, TwoSimulatedPostErrorsAreSurvivedAndDumped) {
    setenv("MURELPAGE_DEBUG_EVO", "", 1);
    setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT", "2", 1);
    CCapturedSlog log;
    const int64_t start = monotonicMs();
    ASSERT_NE(attach(), nullptr);
    EXPECT_GE(monotonicMs() - start, 100); // two pauses of 50 ms
    EXPECT_EQ(linesOf(log, "MurelShAccObj_attach"),
              std::vector<std::string>{"INFO: Debug mode enabled, use instrumented attach ..."});
    EXPECT_EQ(linesOf(log, "MurelPageDebug_UnlockSemaphore"),
              (std::vector<std::string>{"ERROR: Simulate EBADF sem_post error (1/2)...",
                                        "ERROR: Simulate EBADF sem_post error (2/2)..."}));
    EXPECT_EQ(linesOf(log, "MurelShAccObj_attachImplDebug"),
              std::vector<std::string>{"INFO: Final sem_post() result: 'OK'"});
    const std::vector<std::string> dump = linesOf(log, "MurelPageDebug_contextDump");
    ASSERT_EQ(dump.size(), 1u + 6u * 4u);
    EXPECT_EQ(dump[0], "INFO: Debug context: snapshots_cnt=6 config [simu_sem_post=2,"
                       "simu_sem_desc=0,is_verbose=0]:");
    const char* const names[6] = {"1:sem_open",  "2:sem_wait",  "3:sem_post:todo",
                                  "4+:sem_post", "4+:sem_post", "4+:sem_post"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(dump[1 + 4 * i].rfind(
                      std::string("INFO:   snapshot entry '") + names[i] + "', is_changed=", 0),
                  0u)
            << dump[1 + 4 * i];
        EXPECT_EQ(dump[3 + 4 * i].rfind("INFO:     semDescPtr=0x", 0), 0u) << dump[3 + 4 * i];
        EXPECT_EQ(dump[4 + 4 * i].rfind("INFO:     semDescFull [o.count=", 0), 0u);
    }
    EXPECT_EQ(dump[1], "INFO:   snapshot entry '1:sem_open', is_changed=0");
    // The simulated failures leave EBADF in errno for the snapshots after them.
    EXPECT_EQ(dump[4 * 3 + 2], "INFO:     errno <9|Bad file descriptor>");
    EXPECT_EQ(dump[4 * 4 + 1], "INFO:   snapshot entry '4+:sem_post', is_changed=0");
}

TEST_F(MurelShAccObjTest, FiveSimulatedPostErrorsEndTheProcessAndLeaveTheCreateLockFree) {
    setenv("MURELPAGE_DEBUG_EVO", "1", 1);
    setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT", "7", 1);
    EXPECT_EXIT(attach(), testing::ExitedWithCode(1),
                "murelshaccobj:[0-9]+: FATAL ERROR \" \" occured");
    clearSwitches();
    // Another process can still attach: the create lock was released.
    const pid_t child = forkChild(
        [&] {
            MurelShAccObj* object = nullptr;
            return MurelShAccObj_attach(m_name.c_str(), &object) == 0 ? 0 : 2;
        },
        5);
    EXPECT_EQ(waitChild(child), 0);
}

struct CChildLog {
    uint32_t used;
    char text[32768];
};

// Sink of a child process: appends each line and a newline to the shared text.
int appendToChildLog(void* context, int, int, const char* text) {
    CChildLog& log = *static_cast<CChildLog*>(context);
    const size_t length = strlen(text);
    if (log.used + length + 1 < sizeof(log.text)) {
        memcpy(log.text + log.used, text, length);
        log.used += static_cast<uint32_t>(length);
        log.text[log.used++] = '\n';
    }
    return 0;
}

TEST_F(MurelShAccObjTest, FiveSimulatedPostErrorsAreLoggedAndDumpedBeforeTheEnd) {
    setenv("MURELPAGE_DEBUG_EVO", "1", 1);
    setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT", "5", 1);
    TSharedMemory<CChildLog> childLog;
    const pid_t child = forkChild([&] {
        VXSlogSetSink(&appendToChildLog, childLog.get());
        MurelShAccObj* object = nullptr;
        MurelShAccObj_attach(m_name.c_str(), &object);
        return 0; // not reached: the fatal error ends the process
    });
    EXPECT_EQ(waitChild(child), 1);
    const std::string text(childLog->text, childLog->used);
    const std::string prefix = "[MurelPage V=1.3,D=0,PID=" + std::to_string(child) + ",TID=";
    for (int i = 1; i <= 5; ++i) {
        EXPECT_NE(text.find(",F=MurelPageDebug_UnlockSemaphore()] ERROR: Simulate EBADF sem_post "
                            "error (" +
                            std::to_string(i) + "/5)...\n"),
                  std::string::npos)
            << i;
    }
    EXPECT_NE(text.find(",F=MurelShAccObj_attachImplDebug()] INFO: Final sem_post() result: "
                        "'ERROR'\n"),
              std::string::npos);
    EXPECT_NE(text.find("INFO: Debug context: snapshots_cnt=8 config [simu_sem_post=5,"
                        "simu_sem_desc=0,is_verbose=0]:\n"),
              std::string::npos);
    // The blank error line, then the fatal error's own report.
    const size_t blank = text.find(",F=MurelShAccObj_attachImplDebug()] ERROR:  \n");
    ASSERT_NE(blank, std::string::npos);
    EXPECT_NE(text.find("murelshaccobj:", blank), std::string::npos);
    EXPECT_EQ(text.rfind(prefix, 0), 0u);
}

TEST_F(MurelShAccObjTest, CorruptedGuardIsReportedAtEveryCheckPoint) {
    setenv("MURELPAGE_DEBUG_EVO", "1", 1);
    setenv("MURELPAGE_DEBUG_EVO_SIMU_GCORRUPT", "1", 1);
    CCapturedSlog log;
    ASSERT_NE(attach(), nullptr);
    EXPECT_EQ(linesOf(log, "MurelPageDebug_guardSimuCB").size(), 4u);
    const std::vector<std::string> reports = linesOf(log, "MurelPageDebug_guardVerify");
    ASSERT_EQ(reports.size(), 4u);
    for (const std::string& report : reports) {
        EXPECT_EQ(report.rfind(
                      "ERROR: Guard buffer corrupted! [F=MurelShAccObj_attachImplDebug,Line=", 0),
                  0u)
            << report;
    }
    const std::vector<std::string> dump = linesOf(log, "MurelPageDebug_guardDump");
    ASSERT_EQ(dump.size(), 32u);
    for (size_t i = 0; i < dump.size(); ++i) {
        EXPECT_EQ(dump[i], i % 8 == 0 ? "INFO:   aa fe fe fe fe fe fe fe"
                                      : "INFO:   fe fe fe fe fe fe fe fe");
    }
    // One successful post and no verbose switch: no context dump.
    EXPECT_TRUE(linesOf(log, "MurelPageDebug_contextDump").empty());
}

TEST_F(MurelShAccObjTest, VerboseDumpShowsTheSimulatedDescriptorCorruption) {
    setenv("MURELPAGE_DEBUG_EVO", "1", 1);
    setenv("MURELPAGE_DEBUG_VERBOSE", "", 1);
    setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMDESCCORRUPT", "", 1);
    CCapturedSlog log;
    ASSERT_NE(attach(), nullptr);
    EXPECT_EQ(linesOf(log, "MurelShAccObj_attachImplDebug"),
              std::vector<std::string>{"INFO: Final sem_post() result: 'OK'"});
    const std::vector<std::string> dump = linesOf(log, "MurelPageDebug_contextDump");
    ASSERT_EQ(dump.size(), 1u + 4u * 4u);
    EXPECT_EQ(dump[0], "INFO: Debug context: snapshots_cnt=4 config [simu_sem_post=0,"
                       "simu_sem_desc=1,is_verbose=1]:");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dump[1 + 4 * i].substr(dump[1 + 4 * i].size() - 12),
                  i == 0 ? "is_changed=0" : "is_changed=1");
        EXPECT_EQ(dump[4 + 4 * i].rfind(
                      "INFO:     semDescFull [o.count=" + std::to_string(-1 - i) + ",", 0),
                  0u)
            << dump[4 + 4 * i];
    }
}

} // namespace
