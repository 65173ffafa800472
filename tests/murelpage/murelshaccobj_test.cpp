// Attaching and creating the shared access object, the POSIX wrappers, the instrumented attach and
// the fatal errors.
#include "murelpage/murelshaccobj.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

class MurelShAccObjTest : public testing::Test {
protected:
    void SetUp() override { setSwitches({}); }
    void TearDown() override {
        setSwitches({});
        for (MurelShAccObj* object : m_mapped) {
            munmap(object, MURELSHACCOBJ_SIZE);
        }
        shm_unlink(m_name.c_str());
    }
    // Sets the debug switches given ("NAME" or "NAME=value" without the MURELPAGE_DEBUG_ prefix),
    // clears the others.
    static void setSwitches(const std::vector<std::string>& switches) {
        for (const char* name : {"EVO", "VERBOSE", "EVO_SIMU_SEMPOSTERRCNT",
                                 "EVO_SIMU_SEMDESCCORRUPT", "EVO_SIMU_GCORRUPT"}) {
            unsetenv(("MURELPAGE_DEBUG_" + std::string(name)).c_str());
        }
        for (const std::string& name : switches) {
            const size_t equals = std::min(name.find('='), name.size());
            setenv(("MURELPAGE_DEBUG_" + name.substr(0, equals)).c_str(),
                   name.c_str() + std::min(equals + 1, name.size()), 1);
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
    // Runs body's checks in a child with an empty /dev/shm of its own; skipped where none can be.
    static void inPrivateShm(const std::function<void()>& body) {
        const int status = runWithPrivateShm([&body] {
            body();
            return testing::Test::HasFailure() ? 1 : 0;
        });
        if (status == 77) {
            GTEST_SKIP() << "no private /dev/shm here";
        }
        EXPECT_EQ(status, 0);
    }

    std::string m_name = uniqueShmName("accobj");
    std::vector<MurelShAccObj*> m_mapped;
};

TEST_F(MurelShAccObjTest, FirstAttachCreatesTheObject) {
    const mode_t oldMask = umask(022);
    CCapturedSlog log;
    const uint32_t before = static_cast<uint32_t>(time(nullptr));
    MurelShAccObj* object = attach();
    umask(oldMask);
    ASSERT_NE(object, nullptr);
    EXPECT_GE(object->timeStamp, before);
    struct stat status {};
    EXPECT_EQ(stat(("/dev/shm" + m_name).c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 56);
    EXPECT_EQ(status.st_mode & 0777, 0644u); // 0666 less the umask
    EXPECT_EQ(log.of("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE"),
              std::vector<std::string>{"WARNING: shm_open('" + m_name +
                                       "'): failed as shared memory object does not exist, to be "
                                       "created"});
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
    EXPECT_EQ(MurelShAccObj_openSharedMemoryRWrite(nullptr), -1);
    EXPECT_EQ(MurelShAccObj_createSharedMemory(nullptr), -1);
    EXPECT_EQ(MurelShAccObj_createSharedMemory(m_name.c_str()), -1); // exists: never re-created
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(-1, 56), 0);
    EXPECT_EQ(errno, EBADF); // as the failed call left it, whatever the log did
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(-1), 0);
    EXPECT_EQ(MurelShAccObj_resizeSharedMemory(descriptor, 56), 1);
    EXPECT_EQ(MurelShAccObj_closeSharedMemory(descriptor), 1);
    const std::string invalid = "'): failed with <22|Invalid argument>";
    const std::vector<std::string> expected = {
        murelPagePrefix("MurelShAccObj_attachImplRelease") + "ERROR: shared access object '" +
            m_name + "' is shorter than 56 bytes",
        murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RWRITE") + "ERROR: shm_open('NULL" + invalid,
        murelPagePrefix("MURELPAGE_CREATE_SHARED_MEMORY") + "ERROR: shm_open('NULL" + invalid,
        murelPagePrefix("MURELPAGE_CREATE_SHARED_MEMORY") + "ERROR: shm_open('" + m_name +
            "'): failed with <17|File exists>",
        murelPagePrefix("MURELPAGE_RESIZE_SHARED_MEMORY") +
            "ERROR: ftruncate(): failed with <9|Bad file descriptor>",
        murelPagePrefix("MURELPAGE_CLOSE_SHARED_MEMORY") +
            "ERROR: close(): failed with <9|Bad file descriptor>"};
    EXPECT_EQ(log.texts, expected);
}

// A create lock of the wrong size is refused, naming the file, instead of faulting or blocking;
// once it is removed, the next attach makes a sound one. In a /dev/shm of its own.
TEST_F(MurelShAccObjTest, ADamagedCreateLockIsRefused) {
    inPrivateShm([this] {
        const std::string file = "/dev/shm/sem.murelpage-create-lock";
        for (const bool debug : {false, true}) { // the plain and the instrumented attach
            setSwitches(debug ? std::vector<std::string>{"EVO"} : std::vector<std::string>{});
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
        unlink(file.c_str());
        EXPECT_NE(attach(), nullptr);
    });
}

// Two failed posts are retried, a corrupt guard only reported (eight rows per checkpoint); the dump
// tells which snapshot changed. In a /dev/shm of its own, as a waiting attach changes them too.
TEST_F(MurelShAccObjTest, InstrumentedAttachSurvivesTwoPostErrors) {
    inPrivateShm([this] {
        setSwitches({"EVO", "EVO_SIMU_SEMPOSTERRCNT=2", "EVO_SIMU_GCORRUPT"});
        CCapturedSlog log;
        ASSERT_NE(attach(), nullptr);
        EXPECT_EQ(log.of("MurelPageDebug_guardDump").at(8), "INFO:   aa fe fe fe fe fe fe fe");
        EXPECT_EQ(log.of("MurelShAccObj_attachImplDebug"),
                  std::vector<std::string>{"INFO: Final sem_post() result: 'OK'"});
        const std::vector<std::string> dump = log.of("MurelPageDebug_contextDump");
        ASSERT_EQ(dump.size(), 25u);
        EXPECT_EQ(dump[1], "INFO:   snapshot entry '1:sem_open', is_changed=0");
        EXPECT_EQ(dump[5], "INFO:   snapshot entry '2:sem_wait', is_changed=1");
        for (const int i : {3, 4, 5}) {
            EXPECT_EQ(dump[1 + 4 * i],
                      "INFO:   snapshot entry '4+:sem_post', is_changed=" + std::to_string(i != 4));
            EXPECT_EQ(dump[2 + 4 * i], "INFO:     errno <9|Bad file descriptor>");
        }
        setSwitches({"EVO", "EVO_SIMU_SEMPOSTERRCNT=1"}); // a single failed post is reported too
        CCapturedSlog once;
        EXPECT_NE(attach(), nullptr);
        EXPECT_EQ(once.of("MurelShAccObj_attachImplDebug").size(), 1u); // the final result
    });
}

int toStandardError(void*, int, int, const char* text) {
    return fprintf(stderr, "%s\n", text);
}

// Five failed posts end the process after the log and the dump; the simulation leaves the create
// lock free for later attaches.
TEST_F(MurelShAccObjTest, FiveOrMoreSimulatedPostErrorsEndTheProcess) {
    for (const std::string count : {"5", "7"}) {
        setSwitches({"EVO", "EVO_SIMU_SEMPOSTERRCNT=" + count});
        std::string expected;
        for (int i = 1; i <= 5; ++i) {
            expected += "F=MurelPageDebug_UnlockSemaphore\\(\\)\\] ERROR: Simulate EBADF sem_post "
                        "error \\(" +
                        std::to_string(i) + "/" + count + "\\)\\.\\.\\.\n.*";
        }
        expected += "F=MurelShAccObj_attachImplDebug\\(\\)\\] INFO: Final sem_post\\(\\) result: "
                    "'ERROR'\n.*snapshots_cnt=8 .*(4\\+:sem_post.*){5}.*"
                    "F=MurelShAccObj_attachImplDebug\\(\\)\\] ERROR:  \n"
                    ".*murelshaccobj:[0-9]+: FATAL ERROR \" \" occured";
        EXPECT_EXIT(
            {
                VXSlogSetSink(&toStandardError, nullptr);
                attach();
            },
            testing::ExitedWithCode(1), expected);
    }
    setSwitches({});
    EXPECT_EQ(waitChild(forkChild([this] { return attach() != nullptr ? 0 : 2; })), 0);
}

TEST(MurelShAccObjDeathTest, MissingObjectOrPointerIsAFatalError) {
    const std::string fatal = "murelshaccobj:[0-9]+: FATAL ERROR \"";
    const std::string object = fatal + "Shared object pointer is NULL.\" occured";
    EXPECT_EXIT(MurelShAccObj_attach("/x", nullptr), testing::ExitedWithCode(1),
                fatal + "Pointer to shared object pointer is NULL\" occured");
    EXPECT_EXIT(MurelShAccObj_init(nullptr), testing::ExitedWithCode(1), object);
    EXPECT_EXIT(MurelShAccObj_setCurrentTime(nullptr), testing::ExitedWithCode(1), object);
    EXPECT_EXIT(MurelShAccObj_timedLockROnly(nullptr, 1), testing::ExitedWithCode(1), object);
    EXPECT_EXIT(MurelShAccObj_timedLockWrite(nullptr, 1), testing::ExitedWithCode(1), object);
    EXPECT_EXIT(MurelShAccObj_unlock(nullptr), testing::ExitedWithCode(1), object);
}

} // namespace
