// Drive paths mapped to host folders: case-blind names, wildcard listings,
// folder creation, renames and network-drive detection, on a real temporary
// folder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/drives.h"
#include "platform/faults.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using namespace kdx2::platform;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

class Drives : public ::testing::Test {
  protected:
    std::filesystem::path c, d;

    void SetUp() override {
        const auto base =
            std::filesystem::temp_directory_path() / ("kdx2_drives_" + std::to_string(::getpid()));
        std::filesystem::remove_all(base);
        c = base / "c";
        d = base / "d";
        std::filesystem::create_directories(c);
        std::filesystem::create_directories(d);
        configureDrives("C=" + c.string() + "; d=" + d.string() + "/");
    }
    void TearDown() override {
        std::filesystem::remove_all(c.parent_path());
        configureDrives("");
    }
    void touch(const std::filesystem::path& path, const std::string& content = "x") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
    }
};

TEST_F(Drives, PathsAreNormalisedDrivePaths) {
    EXPECT_EQ(absolutePath("c:/ir2018/../IR2019\\.\\IRM1.DBF"), "C:\\IR2019\\IRM1.DBF");
    EXPECT_EQ(absolutePath("C:\\"), "C:\\");
    setCurrentFolder("C:\\");
    makeFolder("C:\\IR2019");
    setCurrentFolder("IR2019");
    EXPECT_EQ(currentFolder(), "C:\\IR2019\\");
    EXPECT_EQ(absolutePath("IRM1.DBF"), "C:\\IR2019\\IRM1.DBF");
    EXPECT_EQ(absolutePath("\\KDX2\\CONFIG"), "C:\\KDX2\\CONFIG");
    EXPECT_EQ(absolutePath("D:BACKUP"), "D:\\BACKUP");  // another drive: from its root
    EXPECT_EQ(folderOf("C:\\IR2019\\IRM1.DBF"), "C:\\IR2019\\");
    EXPECT_EQ(folderOf("C:\\IRM1.DBF"), "C:\\");
    EXPECT_EQ(fileNameOf("C:\\IR2019\\IRM1.DBF"), "IRM1.DBF");
    EXPECT_EQ(baseNameOf("C:\\IR2019\\IRM1.DBF"), "IRM1");
    EXPECT_TRUE(hasExtension("IRM1.DBF"));
    EXPECT_FALSE(hasExtension("C:\\IR2019.X\\IRM1"));
    EXPECT_THROW(setCurrentFolder("C:\\NAOEXISTE"), base::Error);
}

// A backup into the folder it copies from must be refused however the
// folder is spelt or reached.
TEST_F(Drives, OneFolderIsRecognisedHoweverItIsReached) {
    makeFolder("C:\\IR2025");
    makeFolder("C:\\BK");
    EXPECT_TRUE(sameFolder("C:\\IR2025", "c:\\ir2025\\"));
    EXPECT_TRUE(sameFolder("C:\\", "C:\\."));
    EXPECT_TRUE(sameFolder("C:\\IR2025", "C:\\BK\\..\\IR2025"));
    EXPECT_FALSE(sameFolder("C:\\IR2025", "C:\\BK"));
    EXPECT_FALSE(sameFolder("C:\\IR2025", "C:\\NOVA"));  // not there yet
    EXPECT_FALSE(sameFolder("", "C:\\IR2025"));
    // Another drive letter mapped onto the same host folder.
    configureDrives("C=" + c.string() + ";E=" + (c / "IR2025").string());
    EXPECT_TRUE(sameFolder("E:\\", "C:\\IR2025"));
    EXPECT_FALSE(sameFolder("E:\\", "C:\\BK"));
}

TEST_F(Drives, NamesAreFoundWithoutRegardToCase) {
    touch(c / "Ir2018" / "irm1.Dbf", "abc");
    EXPECT_TRUE(fileExists("C:\\IR2018\\IRM1.DBF"));
    EXPECT_TRUE(folderExists("c:\\ir2018"));
    EXPECT_FALSE(fileExists("C:\\IR2018"));  // a folder is no file
    EXPECT_EQ(fileSize("C:\\IR2018\\IRM1.DBF"), 3u);
    EXPECT_EQ(hostPath("C:\\IR2018\\IRM1.DBF"), (c / "Ir2018" / "irm1.Dbf").string());
    File f = openFile("C:\\IR2018\\IRM1.dbf", File::Mode::ReadOnly);
    EXPECT_EQ(f.size(), 3u);
    // A new file gets the name the program uses, inside the existing folder.
    createFile("C:\\IR2018\\IRM1.cdx").close();
    EXPECT_TRUE(std::filesystem::exists(c / "Ir2018" / "IRM1.cdx"));
    // CP850 names become UTF-8 host names and back.
    createFile("C:\\IR2018\\AÇÃO.TXT"_cp).close();
    EXPECT_TRUE(std::filesystem::exists(c / "Ir2018" / "AÇÃO.TXT"));
    EXPECT_TRUE(fileExists("C:\\IR2018\\ação.txt"_cp));
}

TEST_F(Drives, ListingsMatchWildcardsCaseBlindAndSkipFolders) {
    for (const char* name : {"IRM1.DBF", "irm2.dbf", "IRM10.DBF", "IRM1.cdx", "TMP_103.DBF",
                             "TMP_1004.DBF", "velho.ntx", "Z.NTX"})
        touch(c / "DADOS" / name);
    std::filesystem::create_directories(c / "DADOS" / "PASTA.DBF");
    EXPECT_THAT(listFiles("C:\\DADOS\\IRM?.DBF"), ElementsAre("IRM1.DBF", "irm2.dbf"));
    EXPECT_THAT(listFiles("C:\\DADOS\\*.ntx"), ElementsAre("Z.NTX", "velho.ntx"));
    EXPECT_THAT(listFiles("C:\\DADOS\\TMP_*03.*"), ElementsAre("TMP_103.DBF"));
    EXPECT_THAT(listFiles("C:\\DADOS\\*irm1.*"), ElementsAre("IRM1.DBF", "IRM1.cdx"));
    EXPECT_EQ(listFiles("C:\\DADOS\\*.*").size(), 8u);
    EXPECT_TRUE(listFiles("C:\\NAOHA\\*.*").empty());
}

TEST_F(Drives, FoldersFilesAndRenames) {
    makeFolder("D:\\COPIA\\2024\\JAN");
    EXPECT_TRUE(std::filesystem::is_directory(d / "COPIA" / "2024" / "JAN"));
    makeFolder("d:\\copia\\2024");  // existing, other case: nothing new
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d),
                            std::filesystem::directory_iterator()),
              1);
    touch(d / "COPIA" / "a.txt", "novo");
    touch(d / "COPIA" / "B.TXT", "velho");
    renameFile("D:\\COPIA\\A.TXT", "D:\\COPIA\\b.txt");  // replaces the existing B.TXT
    EXPECT_THAT(listFiles("D:\\COPIA\\*.*"), ElementsAre("B.TXT"));
    EXPECT_EQ(fileSize("D:\\COPIA\\B.TXT"), 4u);
    copyFile("D:\\COPIA\\B.TXT", "C:\\B2.TXT");
    EXPECT_EQ(fileSize("C:\\B2.TXT"), 4u);
    EXPECT_TRUE(removeFile("C:\\B2.TXT"));
    EXPECT_FALSE(removeFile("C:\\B2.TXT"));
    try {
        openFile("C:\\NAOHA.DBF", File::Mode::ReadOnly);
        FAIL();
    } catch (const base::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("C:\\NAOHA.DBF"));
        EXPECT_THAT(e.what(), HasSubstr("não encontrado"_cp));
    }
    try {
        hostPath("Q:\\X");
        FAIL();
    } catch (const base::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("unidade Q:"));
    }
}

TEST_F(Drives, HostFoldersGetADrive) {
    EXPECT_EQ(driveForHostFolder((c / "IR2018").string()), "C:\\IR2018");
    const auto other = c.parent_path() / "fora";
    std::filesystem::create_directories(other);
    const std::string drive = driveForHostFolder(other.string());
    EXPECT_EQ(drive, "Z:\\");
    EXPECT_EQ(driveForHostFolder(other.string()), "Z:\\");
    touch(other / "X.DBF");
    EXPECT_TRUE(fileExists("Z:\\X.DBF"));
}

TEST_F(Drives, LocalFoldersAreNotNetworkDrives) {
    EXPECT_FALSE(isNetworkDrive("C:\\"));
    // A path not created yet is judged by its nearest existing folder.
    EXPECT_FALSE(isNetworkDrive("C:\\AINDA\\NAO\\EXISTE"));
    EXPECT_THROW(configureDrives("CC=/tmp"), base::Error);
}

}  // namespace

namespace {

// A link inside a drive that leads outside every mapped drive is not
// followed: nothing is read or written there, and the user is told which
// path it is. Links that stay inside the drives work as usual.
TEST_F(Drives, ALinkLeavingTheDrivesIsRefusedAndOneInsideThemIsFollowed) {
    const std::filesystem::path outside = c.parent_path() / "fora";
    std::filesystem::create_directories(outside);
    touch(outside / "SEGREDO.TXT", "fora");
    std::filesystem::create_directories(c / "DADOS");
    std::filesystem::create_directory_symlink(outside, c / "DADOS" / "TRAB");
    std::filesystem::create_directory_symlink(d, c / "COPIA");
    std::filesystem::create_directory_symlink(c / "DADOS", c / "ATALHO");

    const auto refused = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const base::Error& error) {
            return base::cp850::toUtf8(error.what());
        }
        return std::string("(not refused)");
    };
    EXPECT_THAT(refused([] { createFile("C:\\DADOS\\TRAB\\TMP_203.DBF"); }),
                HasSubstr("C:\\DADOS\\TRAB é um link que leva para fora das unidades"));
    EXPECT_THAT(refused([] { openFile("c:\\dados\\trab\\segredo.txt", File::Mode::ReadOnly); }),
                HasSubstr("link que leva para fora"));
    EXPECT_THAT(refused([] { makeFolder("C:\\DADOS\\TRAB\\NOVA"); }),
                HasSubstr("link que leva para fora"));
    EXPECT_THAT(refused([] { setCurrentFolder("C:\\DADOS\\TRAB"); }),
                HasSubstr("link que leva para fora"));
    EXPECT_THAT(refused([] { removeFile("C:\\DADOS\\TRAB\\SEGREDO.TXT"); }),
                HasSubstr("link que leva para fora"));
    EXPECT_FALSE(fileExists("C:\\DADOS\\TRAB\\SEGREDO.TXT"));
    EXPECT_FALSE(folderExists("C:\\DADOS\\TRAB"));
    EXPECT_TRUE(listFiles("C:\\DADOS\\TRAB\\*.*").empty());
    EXPECT_THAT(std::vector<std::string>{"SEGREDO.TXT"},
                testing::ContainerEq(std::vector<std::string>{
                    std::filesystem::directory_iterator(outside)->path().filename().string()}))
        << "nothing was written outside";

    // Into another drive and within the same one, links are followed.
    createFile("C:\\COPIA\\IRM1.DBF").writeAt(0, "d", 1);
    EXPECT_TRUE(std::filesystem::exists(d / "IRM1.DBF"));
    createFile("C:\\ATALHO\\IRM2.DBF").writeAt(0, "c", 1);
    EXPECT_TRUE(fileExists("C:\\DADOS\\IRM2.DBF"));
}

}  // namespace

namespace {

TEST_F(Drives, AFolderThatCannotBeWrittenIsNamedWithTheReason) {
    std::filesystem::create_directories(c / "DADOS");
    EXPECT_EQ(folderNotWritable("C:\\DADOS"), std::nullopt);
    EXPECT_EQ(folderNotWritable("C:\\NAO_EXISTE"), std::nullopt);
    FaultPlan readOnly(FileOp::Create, 1, FaultPlan::Action::FailFromThenOn, EROFS);
    ScopedFileOpHook hook(&readOnly);
    EXPECT_EQ(base::cp850::toUtf8(folderNotWritable("c:\\dados").value_or("")),
              "A pasta C:\\dados não permite gravação: o disco é somente para leitura.");
}

// The whole program on a drive mounted read-only (in a mount namespace of
// its own, so nothing stays mounted): it says the folder cannot be written,
// naming it by its drive path, and never blames a configuration file in use.
TEST_F(Drives, TheProgramOnAReadOnlyDriveSaysTheFolderCannotBeWritten) {
    if (std::system("unshare -r -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "this machine does not allow a private read-only mount (unshare -r -m)";
    if (!std::filesystem::exists(KDX2_BINARY)) GTEST_SKIP() << "build/kdx2 is not built";
    const std::filesystem::path script = c.parent_path() / "roteiro.txt";
    // A first start lays out the install folder; the second finds it read-only.
    std::ofstream(script) << "key Alt+T\n";
    const std::string environment = "KDX2_DRIVES='C=" + c.string() + "' TERMINAL=01 ";
    ASSERT_EQ(std::system((environment + KDX2_BINARY + " --headless " + script.string() +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    std::ofstream(script) << "key Enter\nkey Enter\nkey Enter\nkey Alt+T\n";
    const std::filesystem::path screen = c.parent_path() / "tela.txt";
    std::ofstream(c.parent_path() / "ro.sh")
        << "mount --bind '" << c.string() << "' '" << c.string() << "' && "
        << "mount -o remount,bind,ro '" << c.string() << "' && " << environment << KDX2_BINARY
        << " --headless " << script.string() << " > " << screen.string() << " 2>&1\n";
    std::system(("unshare -r -m sh " + (c.parent_path() / "ro.sh").string()).c_str());
    std::ifstream in(screen);
    const std::string shown((std::istreambuf_iterator<char>(in)), {});
    EXPECT_THAT(shown, HasSubstr("A pasta C:\\ não permite gravação"));
    EXPECT_THAT(shown, testing::Not(HasSubstr("sendo usado no momento")));
    EXPECT_THAT(shown, testing::Not(HasSubstr(c.string())));
}

}  // namespace
