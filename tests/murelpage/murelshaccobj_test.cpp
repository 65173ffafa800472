// Attaching and creating the shared access object under the create lock, the POSIX wrappers, and
// the instrumented attach.
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    // Size and permission bits of the object in the file system.
    std::pair<off_t, mode_t> objectStatus() const {
        struct stat status {};
        EXPECT_EQ(stat(("/dev/shm" + m_name).c_str(), &status), 0);
        return {status.st_size, status.st_mode & 0777};
    }

    std::string m_name = uniqueShmName("accobj");
    std::vector<MurelShAccObj*> m_mapped;
};

TEST_F(MurelShAccObjTest, FirstAttachCreatesTheObjectLaterAttachesOpenIt) {
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
    EXPECT_EQ(objectStatus(), std::make_pair(off_t{56}, mode_t{0644})); // 0666 less the umask
    EXPECT_EQ(log.texts,
              std::vector<std::string>{
                  murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE") + "WARNING: shm_open('" +
                  m_name + "'): failed as shared memory object does not exist, to be created"});
    // Another process attaching afterwards opens the same object without initialising it again.
    ASSERT_EQ(MurelShAccObj_timedLockWrite(object, MURELSHACCOBJ_WAIT_FOREVER), 0);
    object->changeCounter = 5;
    const pid_t child = forkChild([this] {
        MurelShAccObj* second = attach();
        // The lock is still held by the parent: it was not initialised again.
        return second == nullptr || second->changeCounter != 5        ? 2
               : MurelShAccObj_timedLockROnly(second, 1) == ETIMEDOUT ? 0
                                                                      : 3;
    });
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    log.texts.clear();
    MurelShAccObj* again = attach();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->changeCounter, 5u);
    EXPECT_TRUE(log.texts.empty());
}

// An existing object shorter than 56 bytes is left alone; the POSIX wrappers log what failed.
TEST_F(MurelShAccObjTest, FailuresAndTheirLogLines) {
    MurelShAccObj* object = nullptr;
    EXPECT_EQ(MurelShAccObj_attach("", &object), -1);
    EXPECT_EQ(MurelShAccObj_attach(nullptr, &object), -1);
    EXPECT_EQ(object, nullptr);
    const int descriptor = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_EQ(ftruncate(descriptor, 10), 0);
    CCapturedSlog log;
    EXPECT_EQ(attach(), nullptr);
    EXPECT_EQ(objectStatus().first, 10);
    EXPECT_EQ(MurelShAccObj_openSharedMemoryRWrite(nullptr), -1);
    EXPECT_EQ(MurelShAccObj_createSharedMemory(nullptr), -1);
    EXPECT_EQ(MurelShAccObj_createSharedMemory(m_name.c_str()), -1); // exists: never re-created
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(-1, 56), 0);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(-1), 0);
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(descriptor, 56), 1);
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(descriptor), 1);
    const std::vector<std::string> expected = {
        murelPagePrefix("MurelShAccObj_attachImplRelease") + "ERROR: shared access object '" +
            m_name + "' is shorter than 56 bytes",
        murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE") +
            "ERROR: shm_open('NULL'): failed with <22|Invalid argument>",
        murelPagePrefix("MURELPAGE_CREATE_SHARED_MEMORY") +
            "ERROR: shm_open('NULL'): failed with <22|Invalid argument>",
        murelPagePrefix("MURELPAGE_CREATE_SHARED_MEMORY") + "ERROR: shm_open('" + m_name +
            "'): failed with <17|File exists>",
        murelPagePrefix("MURELPAGE_RESIZE_SHARED_MEMORY") +
            "ERROR: ftruncate(): failed with <9|Bad file descriptor>",
        murelPagePrefix("MURELPAGE_CLOSE_SHARED_MEMORY") +
            "ERROR: close(): failed with <9|Bad file descriptor>",
    };
    EXPECT_EQ(log.texts, expected);
}

// A create lock that is no semaphore of this system (an empty or a wrong-sized file, cut short or
// made by hand) is refused, naming the file, instead of faulting or blocking on the first wait;
// once it is removed, the next attach makes a sound one. In a /dev/shm of its own.
TEST_F(MurelShAccObjTest, ADamagedCreateLockIsRefused) {
    const int status = runWithPrivateShm([this] {
        const std::string file = "/dev/shm/sem.murelpage-create-lock";
        for (const bool debug : {false, true}) { // the plain and the instrumented attach
            if (debug) {
                setenv("MURELPAGE_DEBUG_EVO", "", 1);
            }
            for (const off_t size : {0, 100}) {
                SCOPED_TRACE(testing::Message() << debug << " " << size);
                const int descriptor = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
                EXPECT_EQ(ftruncate(descriptor, size), 0);
                close(descriptor);
                CCapturedSlog log;
                EXPECT_EQ(attach(), nullptr);
                EXPECT_EQ(log.of("MUREL_OPEN_SEMAPHORE"),
                          std::vector<std::string>{
                              "ERROR: semaphore '/murelpage-create-lock' is not usable: '" + file +
                              "' is not a regular file of " + std::to_string(sizeof(sem_t)) +
                              " bytes"});
            }
        }
        clearSwitches();
        unlink(file.c_str());
        EXPECT_NE(attach(), nullptr);
        return testing::Test::HasFailure() ? 1 : 0;
    });
    if (status == 77) {
        GTEST_SKIP() << "no private /dev/shm here";
    }
    EXPECT_EQ(status, 0);
}

void onSignal(int) {}

TEST_F(MurelShAccObjTest, SemaphoreWaitIsRepeatedAfterAnInterruption) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = &onSignal; // no SA_RESTART
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    sem_t semaphore;
    ASSERT_EQ(sem_init(&semaphore, 0, 0), 0);
    const pthread_t waiter = pthread_self();
    std::thread helper([&] {
        usleep(200000);
        pthread_kill(waiter, SIGUSR1);
        usleep(200000);
        sem_post(&semaphore);
    });
    CCapturedSlog log;
    EXPECT_EQ(MurelShAccObj_waitForUnlockSemaphore(&semaphore), 1);
    helper.join();
    EXPECT_EQ(log.texts,
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

// Every simulation on: two failed posts are survived; each check point reports the corrupted
// guard, and the verbose dump shows the corrupted descriptor.
TEST_F(MurelShAccObjTest, InstrumentedAttachSurvivesTwoPostErrorsAndReportsCorruption) {
    for (const char* name :
         {"MURELPAGE_DEBUG_EVO", "MURELPAGE_DEBUG_EVO_SIMU_GCORRUPT", "MURELPAGE_DEBUG_VERBOSE",
          "MURELPAGE_DEBUG_EVO_SIMU_SEMDESCCORRUPT"}) {
        setenv(name, "", 1);
    }
    setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT", "2", 1);
    CCapturedSlog log;
    const int64_t start = monotonicUs();
    ASSERT_NE(attach(), nullptr);
    EXPECT_GE(monotonicUs() - start, 100000); // two pauses of 50 ms
    EXPECT_EQ(log.of("MurelShAccObj_attach"),
              std::vector<std::string>{"INFO: Debug mode enabled, use instrumented attach ..."});
    EXPECT_EQ(log.of("MurelPageDebug_UnlockSemaphore"),
              (std::vector<std::string>{"ERROR: Simulate EBADF sem_post error (1/2)...",
                                        "ERROR: Simulate EBADF sem_post error (2/2)..."}));
    EXPECT_EQ(log.of("MurelShAccObj_attachImplDebug"),
              std::vector<std::string>{"INFO: Final sem_post() result: 'OK'"});

    EXPECT_EQ(log.of("MurelPageDebug_guardSimuCB"),
              std::vector<std::string>(6, "ERROR: Simulate guard buffer corruption.."));
    const std::vector<std::string> reports = log.of("MurelPageDebug_guardVerify");
    ASSERT_EQ(reports.size(), 6u);
    for (const std::string& report : reports) {
        EXPECT_TRUE(report.starts_with(
            "ERROR: Guard buffer corrupted! [F=MurelShAccObj_attachImplDebug,Line="))
            << report;
    }
    const std::vector<std::string> guard = log.of("MurelPageDebug_guardDump");
    ASSERT_EQ(guard.size(), 48u);
    for (size_t i = 0; i < guard.size(); ++i) {
        EXPECT_EQ(guard[i], i % 8 == 0 ? "INFO:   aa fe fe fe fe fe fe fe"
                                       : "INFO:   fe fe fe fe fe fe fe fe");
    }

    // The dump: four lines per snapshot. A snapshot is changed when its errno, handle or
    // descriptor lines differ from the one before it; the descriptor count drops every time.
    const std::vector<std::string> dump = log.of("MurelPageDebug_contextDump");
    ASSERT_EQ(dump.size(), 25u);
    EXPECT_EQ(dump[0], "INFO: Debug context: snapshots_cnt=6 config [simu_sem_post=2,"
                       "simu_sem_desc=1,is_verbose=1]:");
    const char* const names[] = {"1:sem_open",  "2:sem_wait",  "3:sem_post:todo",
                                 "4+:sem_post", "4+:sem_post", "4+:sem_post"};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const auto values = dump.begin() + 2 + 4 * static_cast<int>(i);
        const bool changed = i > 0 && !std::equal(values, values + 3, values - 4);
        EXPECT_EQ(dump[1 + 4 * i], "INFO:   snapshot entry '" + std::string(names[i]) +
                                       "', is_changed=" + (changed ? "1" : "0"));
        EXPECT_TRUE(dump[2 + 4 * i].starts_with("INFO:     errno <"));
        EXPECT_TRUE(dump[3 + 4 * i].starts_with("INFO:     semDescPtr=0x"));
        EXPECT_TRUE(dump[4 + 4 * i].starts_with(
            "INFO:     semDescFull [o.count=" + std::to_string(-1 - static_cast<int>(i)) + ","));
    }
    // The simulated failures leave EBADF in errno for the snapshots after them.
    EXPECT_EQ(dump[4 * 3 + 2], "INFO:     errno <9|Bad file descriptor>");
}

int toStandardError(void*, int, int, const char* text) {
    return fprintf(stderr, "%s\n", text);
}

// Five failed posts end the process after the log and the dump; the simulation leaves the create
// lock free for later attaches.
TEST_F(MurelShAccObjTest, FiveOrMoreSimulatedPostErrorsEndTheProcess) {
    setenv("MURELPAGE_DEBUG_EVO", "1", 1);
    for (const std::string count : {"5", "7"}) {
        setenv("MURELPAGE_DEBUG_EVO_SIMU_SEMPOSTERRCNT", count.c_str(), 1);
        std::string expected;
        for (int i = 1; i <= 5; ++i) {
            expected += "F=MurelPageDebug_UnlockSemaphore\\(\\)\\] ERROR: Simulate EBADF sem_post "
                        "error \\(" +
                        std::to_string(i) + "/" + count + "\\)\\.\\.\\.\n.*";
        }
        expected += "F=MurelShAccObj_attachImplDebug\\(\\)\\] INFO: Final sem_post\\(\\) result: "
                    "'ERROR'\n.*\\] INFO: Debug context: snapshots_cnt=8 config \\[simu_sem_post=" +
                    count +
                    ",simu_sem_desc=0,is_verbose=0\\]:\n.*'1:sem_open'.*'2:sem_wait'.*'3:sem_post:"
                    "todo'(.*'4\\+:sem_post'){5}.*F=MurelShAccObj_attachImplDebug\\(\\)\\] ERROR:  "
                    "\n.*murelshaccobj:[0-9]+: FATAL ERROR \" \" occured";
        EXPECT_EXIT(
            {
                VXSlogSetSink(&toStandardError, nullptr);
                attach();
            },
            testing::ExitedWithCode(1), expected);
    }
    clearSwitches();
    EXPECT_EQ(waitChild(forkChild([this] { return attach() != nullptr ? 0 : 2; })), 0);
}

} // namespace
