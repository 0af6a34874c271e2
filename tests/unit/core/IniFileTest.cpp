#include "platform/core/Exceptions.h"
#include "platform/core/IniFile.h"
#include "FileSizeLimit.h"
#include "TestUtil.h"

#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::TIniFile;
using platform::TMemIniFile;
using testing::HasSubstr;
using testing::ThrowsMessage;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

TEST(IniFile, ReadsCrLfAndLfAndIgnoresCase)
{
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[Generics]\r\nDestinationFolder = /x/y \r\nImageFileFormat=PNG\r\n"
                                 "[trace]\nLevel=$1F\nScreen=0x10\nFile=-3\nBad=12a\nBig=99999999999\n");
    TMemIniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadString("GENERICS", "destinationfolder", "?"), "/x/y");
    EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "PNG");
    EXPECT_EQ(ini.ReadString("Generics", "Missing", "def"), "def");
    const std::pair<const char *, int> ints[] = {{"Level", 31}, {"Screen", 16}, {"File", -3}, {"Bad", 7}, {"Big", 7}};
    for (const auto &[key, want] : ints)
        EXPECT_EQ(ini.ReadInteger("Trace", key, 7), want) << key;
    EXPECT_TRUE(ini.ReadBool("Trace", "File", false));
    EXPECT_FALSE(ini.ReadBool("Trace", "Bad", false));
    EXPECT_TRUE(ini.ReadBool("Trace", "Bad", true));
}

TEST(IniFile, RoundTripKeepsForeignSectionsCommentsAndOrder)
{
    TempDir dir;
    const std::string f = dir.File("s.ini");
    WriteFile(f, "; kept\n[Other]\nz=1\na=2\n; note\n[Generics]\nImageFileFormat=JPG\n[Last]\nk=v\n");
    {
        TMemIniFile ini(f);
        ini.WriteString("Generics", "ImageFileFormat", "PNG");
        ini.WriteString("Generics", "DestinationFolder", "/p");
        ini.WriteInteger("New", "n", -5);
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(f), "; kept\n[Other]\nz=1\na=2\n; note\n\n[Generics]\nImageFileFormat=PNG\n"
                           "DestinationFolder=/p\n\n[Last]\nk=v\n\n[New]\nn=-5\n\n");
    TMemIniFile back(f);
    EXPECT_EQ(back.ReadSections(), (std::vector<std::string>{"Other", "Generics", "Last", "New"}));
    EXPECT_EQ(back.ReadSection("Other"), (std::vector<std::string>{"z", "a"}));
}

TEST(IniFile, EditingInMemory)
{
    TMemIniFile ini;
    ini.SetText("[A]\nx=1\ny=2\n[B]\nq=3\n[a]\nX=4\nz=5\n");
    // Repeated sections and keys merge: the first spelling and place stay, the last value counts.
    EXPECT_EQ(ini.GetText(), "[A]\nx=4\ny=2\nz=5\n\n[B]\nq=3\n\n");
    ini.DeleteKey("a", "X");
    ini.EraseSection("b");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    EXPECT_EQ(ini.GetText(), "[A]\ny=2\nz=5\n\n");

    // A value with line breaks stays one line: it cannot smuggle in a section.
    ini.WriteString("S", "k", "a\r\n[Evil]\nx=1");
    TMemIniFile back;
    back.SetText(ini.GetText());
    EXPECT_FALSE(back.SectionExists("Evil"));
    EXPECT_EQ(back.ReadString("S", "k", ""), "a  [Evil] x=1");
}

TEST(IniFile, FailedSaveLeavesOldFileIntact)
{
    TempDir dir;
    const std::string f = dir.File("s.ini");
    WriteFile(f, "[A]\nx=1\n");
    TMemIniFile ini(f);
    ini.WriteString("A", "x", std::string(4096, 'v'));
    {
        const ScopedFileSizeLimit limit(100);
        EXPECT_THROW(ini.UpdateFile(), platform::EFCreateError);
    }
    EXPECT_EQ(ReadFile(f), "[A]\nx=1\n");
    // No temporary file is left behind.
    const auto entries = std::distance(std::filesystem::directory_iterator(dir.Path()), {});
    EXPECT_EQ(entries, 1);

    TMemIniFile missing(dir.File("no/such/folder/s.ini"));
    missing.WriteString("A", "x", "1");
    EXPECT_THAT([&] { missing.UpdateFile(); }, ThrowsMessage<platform::EFCreateError>(HasSubstr("Cannot create file")));
}

TEST(IniFile, DirectFileWritesAtOnceAndKeepsOthersChanges)
{
    TempDir dir;
    const std::string f = dir.File("d.ini");
    TIniFile ini(f);
    ini.WriteString("Trace", "Level", "3");
    EXPECT_EQ(ReadFile(f), "[Trace]\nLevel=3\n\n");
    WriteFile(f, "[Trace]\nLevel=3\n[Foreign]\nk=v\n");
    ini.WriteBool("Trace", "Screen", true);
    EXPECT_EQ(ReadFile(f), "[Trace]\nLevel=3\nScreen=1\n\n[Foreign]\nk=v\n\n");
}

TEST(IniFile, HugeFileLoadsInLinearTime)
{
    // Read at every start and before every direct write: many keys or sections must not stall.
    std::string text = "[Many]\n";
    for (int i = 0; i < 150000; ++i)
        text += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
    text += "K0=again\n";
    for (int i = 0; i < 30000; ++i)
        text += "[S" + std::to_string(i) + "]\n";
    text += "[s0]\nlast=1\n";
    const auto start = std::chrono::steady_clock::now();
    TMemIniFile ini;
    ini.SetText(text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)); // quadratic: over 20 s
    EXPECT_EQ(ini.ReadSection("Many").size(), 150000u);
    EXPECT_EQ(ini.ReadString("many", "k0", ""), "again");
    EXPECT_EQ(ini.ReadSections().size(), 30001u);
    EXPECT_EQ(ini.ReadString("S0", "last", ""), "1");
}

TEST(IniFile, OversizedFilesDevicesAndPipesAreNotRead)
{
    TempDir dir;
    const std::string big = dir.File("big.ini");
    WriteFile(big, "[A]\nx=1\n");
    ASSERT_EQ(::truncate(big.c_str(), 65 * 1024 * 1024), 0); // sparse: costs no disk
    EXPECT_THAT([&] { TMemIniFile ini(big); }, ThrowsMessage<platform::EFOpenError>(HasSubstr("too large")));
    // A device that never ends and a pipe without a writer: neither may
    // exhaust the memory or block the caller.
    ASSERT_EQ(::symlink("/dev/zero", dir.File("zero.ini").c_str()), 0);
    EXPECT_THROW(TMemIniFile ini(dir.File("zero.ini")), platform::EFOpenError);
    ASSERT_EQ(::mkfifo(dir.File("fifo.ini").c_str(), 0600), 0);
    EXPECT_THROW(TMemIniFile ini(dir.File("fifo.ini")), platform::EFOpenError);
    // A direct write over such a file fails too, instead of replacing it.
    TIniFile direct(dir.File("missing.ini"));
    direct.SetFileName(dir.File("fifo.ini"));
    EXPECT_THROW(direct.WriteString("A", "x", "1"), platform::EFOpenError);
}
