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
    EXPECT_EQ((std::vector{ini.ReadBool("Trace", "File", false), ini.ReadBool("Trace", "Bad", false),
                           ini.ReadBool("Trace", "Bad", true)}), (std::vector{true, false, true}));
}

TEST(IniFile, LoadAndSaveGiveBackEveryLine)
{
    TempDir dir;
    const std::string f = dir.File("s.ini");
    const std::string text = "; kept\n\n[Other] ; trailing text\n z = 1 \n\n\n[Key]=x\n; note\nnot a pair\n"
                             "[Generics]\nImageFileFormat=JPG\n[other]\na=2\nz=3\n\n";
    WriteFile(f, text);
    TMemIniFile(f).UpdateFile();
    EXPECT_EQ(ReadFile(f), text);
    TMemIniFile ini(f);
    // "[Key]=x" is a key; a repeated section counts as one, its last key line wins.
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Other", "Generics"}));
    EXPECT_EQ(ini.ReadSectionValues("OTHER"), (std::vector<std::string>{"z=3", "[Key]=x", "a=2"}));
    WriteFile(f, "[A]\r\nx=1\r\n");
    TMemIniFile(f).UpdateFile();
    EXPECT_EQ(ReadFile(f), "[A]\nx=1\n");
    // A UTF-8 byte-order mark is no part of the first line, and a save keeps it.
    WriteFile(f, "\xEF\xBB\xBF[A]\r\nx=1\r\n");
    EXPECT_EQ(TMemIniFile(f).ReadString("A", "x", "none"), "1");
    TMemIniFile(f).UpdateFile();
    EXPECT_EQ(ReadFile(f), "\xEF\xBB\xBF[A]\nx=1\n");
}

TEST(IniFile, EditsChangeOnlyTheirLines)
{
    TMemIniFile ini;
    ini.SetText("; c\n[A]\nx=1\n; about y\ny=2\n\n[B]\nq=3\n[a]\nX=4\n\n");
    ini.WriteString("a", "x", "5");       // the counting (last) line, its spelling kept
    ini.WriteString("A", "new", "n");     // after the last block's last non-blank line
    ini.WriteInteger("C", "k", -5);       // a new section at the end
    EXPECT_EQ(ini.GetText(), "; c\n[A]\nx=1\n; about y\ny=2\n\n[B]\nq=3\n[a]\nX=5\nnew=n\n\n[C]\nk=-5\n\n");
    ini.DeleteKey("A", "x"); // every line of it: the earlier one must not count again
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    ini.EraseSection("a"); // every block
    EXPECT_EQ(ini.GetText(), "; c\n[B]\nq=3\n[C]\nk=-5\n\n");
}

TEST(IniFile, BlanksAtTheEndsOfValuesAreQuoted)
{
    TMemIniFile ini;
    ini.WriteString("S", "k", "trail ");
    EXPECT_EQ(ini.GetText(), "[S]\nk=\"trail \"\n\n");
}

TEST(IniFile, WhatTheFormatCannotHoldIsRefused)
{
    const struct { std::string section, key, value, message; } cases[] = {
        {"S", "k", "a\n[Evil]\nx=1", "value of \"S\"/\"k\": it contains a line break"},
        {"S", "k", std::string("a\0b", 3), "NUL"}, {"S\nT", "k", "v", "the section name"},
        {"S", "a=b", "v", "cannot hold the key \"S\"/\"a=b\""}, {"S", ";k", "v", "the key"}, {"S", "[x] y", "v", "the key"},
        {"S", "", "v", "the key"}, {"a]b", "k", "v", "the section name"},
    };
    for (const auto &c : cases) {
        TMemIniFile ini;
        ini.SetText("[S]\nk=old\n");
        EXPECT_THAT([&] { ini.WriteString(c.section, c.key, c.value); },
                    ThrowsMessage<platform::EIniFileException>(HasSubstr(c.message)))
            << c.section << "/" << c.key;
        EXPECT_EQ(ini.GetText(), "[S]\nk=old\n");
    }
}

TEST(IniFile, SaveThroughASymbolicLinkReplacesTheTarget)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    WriteFile(dir.File("real/s.ini"), "[A]\nx=1\n");
    ASSERT_EQ(::symlink("real/s.ini", dir.File("mid.ini").c_str()), 0); // relative
    ASSERT_EQ(::symlink(dir.File("mid.ini").c_str(), dir.File("s.ini").c_str()), 0);
    TMemIniFile ini(dir.File("s.ini"));
    ini.WriteString("A", "x", "2");
    ini.UpdateFile();
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("s.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("mid.ini")));
    EXPECT_EQ(ReadFile(dir.File("real/s.ini")), "[A]\nx=2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("real")), {}), 1);
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // no temporary file left
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
    EXPECT_EQ(ReadFile(f), "[Trace]\nLevel=3\nScreen=1\n[Foreign]\nk=v\n");
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
    EXPECT_EQ(ini.ReadSections().size(), 30001u);
    EXPECT_EQ(ini.ReadString("many", "k0", "") + ini.ReadString("S0", "last", ""), "again1");
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
