// Registration: DllRegisterServer writes the classes, names, interfaces and the
// type library; DllUnregisterServer removes exactly those entries.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>

#include "frame/com.hpp"
#include "frame/entry.hpp"
#include "platform/registry.hpp"
#include "support/users.hpp"

using namespace t2;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/t2regXXXXXX";
        dir_ = mkdtemp(tmpl);
        old_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (old_.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", old_.c_str(), 1);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string dir_, old_;
};

TEST_F(RegistryTest, RegisterAndUnregisterKeepOtherEntries) {
    ASSERT_EQ(platform::registry_path(), dir_ + "/tavolin2/registry");
    ASSERT_TRUE(platform::registry_update({{"Other\\Key", {{"@", "kept"}}}}, {}));
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllRegisterServer(), S_OK);  // twice: the same entries, not two copies

    std::vector<platform::RegistryKey> keys;
    ASSERT_TRUE(platform::registry_read(keys));
    // 9 classes x (CLSID, ProgID, Interface) + 2 event interfaces + type library + the foreign key
    EXPECT_EQ(keys.size(), 9u * 3 + 2 + 1 + 1);
    const std::string clsid = "CLSID\\" + guid_text(CLSID_cDIBSection);
    EXPECT_EQ(platform::registry_value(clsid, "ProgID"), "TAVOLIN2.cDIBSection");
    EXPECT_EQ(platform::registry_value(clsid, "ThreadingModel"), "Apartment");
    EXPECT_EQ(platform::registry_value(clsid, "TypeLib"), guid_text(LIBID_TAVOLIN2));
    auto server = platform::registry_value(clsid, "InprocServer32");
    ASSERT_TRUE(server.has_value());
    EXPECT_FALSE(server->empty());
    EXPECT_EQ(platform::registry_value("TAVOLIN2.GIF", "CLSID"), guid_text(CLSID_GIF));
    EXPECT_EQ(platform::registry_value("TypeLib\\" + guid_text(LIBID_TAVOLIN2) + "\\1.0", "@"), "TAVOLIN2");
    EXPECT_EQ(platform::registry_value("Interface\\" + guid_text(DIID___cPalette), "@"), "__cPalette");
    EXPECT_EQ(platform::registry_value("CLSID\\" + guid_text(CLSID_GIF), "Instancing"), "AppObject");

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    ASSERT_TRUE(platform::registry_read(keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].name, "Other\\Key");
}

TEST_F(RegistryTest, AForeignClassIsFoundThroughTheRegistry) {
    GUID foreign = *parse_guid("{11111111-2222-3333-4444-555555555555}");
    ASSERT_TRUE(
        platform::registry_update({{"Other.Thing", {{"CLSID", guid_text(foreign)}}},
                                   {"CLSID\\" + guid_text(foreign), {{"InprocServer32", dir_ + "/missing.so"}}}},
                                  {}));
    CLSID c{};
    ASSERT_EQ(T2CLSIDFromProgID("Other.Thing", &c), S_OK);
    EXPECT_TRUE(c == foreign);
    void* p = nullptr;
    EXPECT_EQ(T2CoCreateInstance(foreign, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);  // its file is not there
    EXPECT_EQ(p, nullptr);
}

TEST_F(RegistryTest, AnUnwritableFolderFailsRegistration) {
    setenv("XDG_DATA_HOME", "/proc/no-such-place", 1);
    EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS);
}

// Regression: the registration rewrite dropped comments and unparsable lines, and
// replaced a read-only registration file with a writable one.
TEST_F(RegistryTest, RewriteDroppedForeignLinesAndTheFilesMode) {
    const std::string path = platform::registry_path();
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "old"}}}}, {}));
    const std::string foreign = "; written by hand\n[Other]\n@=x\nnot a value line\n# another comment\n";
    {
        std::ofstream f(path, std::ios::app);
        f << foreign;
    }
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "new"}}}}, {"Gone"}));
    std::ifstream f(path);
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_NE(text.str().find(foreign), std::string::npos) << text.str();
    EXPECT_EQ(text.str().find("@=old"), std::string::npos) << text.str();
    EXPECT_EQ(platform::registry_value("Mine", "@"), "new");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (geteuid() != 0) {  // a read-only file is refused, not replaced (root may write it)
        chmod(path.c_str(), 0444);
        EXPECT_FALSE(platform::registry_update({{"Mine", {{"@", "newer"}}}}, {}));
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
        EXPECT_EQ(platform::registry_value("Mine", "@"), "new");
    }
}

// Regression: with no home folder the registry went to /tmp, where any user
// could have chosen the library file others load; and failures said nothing.
TEST_F(RegistryTest, NoUsableHomeFailsWithTheReason) {
    const char* old_home = std::getenv("HOME");
    const std::string home = old_home ? old_home : "";
    auto description = [] {
        IErrorInfo* info = nullptr;
        std::string text;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            BSTR d = nullptr;
            info->GetDescription(&d);
            char* u = T2StringToUTF8(d);
            text = u ? u : "";
            std::free(u);
            SysFreeString(d);
            info->Release();
        }
        return text;
    };
    struct Case {
        const char* xdg;
        const char* home;
        const char* text;
    };
    const Case cases[] = {
        {"relative/data", "/", "no home folder"},
        {"", "/", "no home folder"},
        {"/proc/no-such-folder", "/", "/proc/no-such-folder/tavolin2/registry: "},
    };
    for (const Case& c : cases) {
        setenv("XDG_DATA_HOME", c.xdg, 1);
        setenv("HOME", c.home, 1);
        EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS) << c.xdg;
        EXPECT_NE(description().find(c.text), std::string::npos) << c.xdg << ": " << description();
        if (std::string(c.text) == "no home folder") {
            EXPECT_STREQ(T2RegistryPath(), "");
        }
    }
    if (old_home)
        setenv("HOME", home.c_str(), 1);
    else
        unsetenv("HOME");
}

// Regression: a registry file another user controls was read, and the library it
// names loaded (its constructor ran as root); a pipe where the file should be made
// registration wait for ever, a link to /dev/zero grew without end.
TEST_F(RegistryTest, OnlyATrustedRegistryIsBelievedAndOnlyTrustedLibrariesLoaded) {
    const std::string data = dir_ + "/data", file = data + "/tavolin2/registry";
    const std::string lib_dir = dir_ + "/lib", lib = lib_dir + "/marker.so", mark = dir_ + "/loaded";
    const GUID foreign = *parse_guid("{11111111-2222-3333-4444-666666666666}");
    setenv("T2_TEST_MARK", mark.c_str(), 1);
    struct Case {
        const char* what;
        std::function<void()> make;  // spoils one thing of a good set-up
        const char* refusal;         // a part of the reason; "" when all is believed
        bool root_only;
    };
    const uid_t other = t2test::can_switch_users() ? t2test::nobody_uid() : 0;
    const Case cases[] = {
        {"all the user's own", [] {}, "", false},
        {"the file writable by others", [&] { chmod(file.c_str(), 0666); }, "may be written by other users", false},
        {"its folder writable by the group", [&] { chmod((data + "/tavolin2").c_str(), 0775); },
         "may be written by other users", false},
        {"the data folder writable by others", [&] { chmod(data.c_str(), 0777); }, "may be written by other users",
         false},
        {"the file another user's", [&] { chown(file.c_str(), other, other); }, "belongs to another user", true},
        {"the data folder another user's", [&] { chown(data.c_str(), other, other); }, "belongs to another user", true},
        {"the library another user's", [&] { chown(lib.c_str(), other, other); }, "not loaded", true},
        {"the library's folder writable by others", [&] { chmod(lib_dir.c_str(), 0777); }, "not loaded", false},
        {"a folder where the file should be",
         [&] {
             unlink(file.c_str());
             mkdir(file.c_str(), 0700);
         },
         "not an ordinary file", false},
        {"a pipe where the file should be",
         [&] {
             unlink(file.c_str());
             mkfifo(file.c_str(), 0600);
         },
         "not an ordinary file", false},
        {"a link to /dev/zero",
         [&] {
             unlink(file.c_str());
             symlink("/dev/zero", file.c_str());
         },
         "not an ordinary file", false},
        {"a file larger than a registry may be", [&] { truncate(file.c_str(), platform::kRegistryMaxBytes + 1); },
         "larger than", false},
    };
    for (const Case& c : cases) {
        if (c.root_only && !t2test::can_switch_users()) continue;
        std::system(("rm -rf '" + data + "' '" + lib_dir + "' '" + mark + "'").c_str());
        mkdir(data.c_str(), 0700);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        mkdir(lib_dir.c_str(), 0755);
        ASSERT_EQ(std::system(("cp '" TAVOLIN2_TEST_MARKER "' '" + lib + "'").c_str()), 0);
        ASSERT_TRUE(platform::registry_update({{"Evil.Thing", {{"CLSID", guid_text(foreign)}}},
                                               {"CLSID\\" + guid_text(foreign), {{"InprocServer32", lib}}}},
                                              {}));
        c.make();
        CLSID id{};
        void* p = nullptr;
        const HRESULT by_name = T2CLSIDFromProgID("Evil.Thing", &id);
        const HRESULT made = T2CoCreateInstance(foreign, IID_IUnknown, &p);
        EXPECT_EQ(p, nullptr) << c.what;
        if (*c.refusal == 0) {
            EXPECT_EQ(by_name, S_OK) << c.what;
            EXPECT_EQ(access(mark.c_str(), F_OK), 0) << c.what << ": a trusted library is loaded";
            continue;
        }
        EXPECT_EQ(made, E_ACCESSDENIED) << c.what;
        EXPECT_NE(std::string(T2RegistryRefusal()).find(c.refusal), std::string::npos)
            << c.what << ": " << T2RegistryRefusal();
        EXPECT_NE(access(mark.c_str(), F_OK), 0) << c.what << ": the library was loaded";
        // a registration refuses the same file, at once, and leaves it as it is
        const bool library_case = std::string(c.refusal) == "not loaded";
        EXPECT_EQ(platform::registry_update({{"Mine", {{"@", "x"}}}}, {}), library_case) << c.what;
    }
    unsetenv("T2_TEST_MARK");
}

// A registry made under a umask that lets the group write (002, as for users with
// a group of their own) must still be believed afterwards.
TEST_F(RegistryTest, ANewRegistryIsNeverWritableByOthers) {
    const mode_t before = umask(002);
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "x"}}}}, {}));
    umask(before);
    struct stat st {};
    ASSERT_EQ(stat(platform::registry_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 022, 0u);
    EXPECT_EQ(platform::registry_value("Mine", "@"), "x");
}

// A pipe or device where the lock should be is refused at once, not waited on.
TEST_F(RegistryTest, ALockThatIsNoFileIsRefused) {
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "x"}}}}, {}));
    const std::string lock = platform::registry_path() + ".lock";
    unlink(lock.c_str());
    mkfifo(lock.c_str(), 0600);
    std::string error;
    EXPECT_FALSE(platform::registry_update({{"Mine", {{"@", "y"}}}}, {}, &error));
    EXPECT_NE(error.find("lock"), std::string::npos) << error;
    EXPECT_EQ(platform::registry_value("Mine", "@"), "x");
}

}  // namespace
