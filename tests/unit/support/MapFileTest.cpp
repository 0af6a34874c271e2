#include "support/MapFile.h"

#include "TestUtil.h"
#include "platform/core/ProgramPath.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <sstream>
#include <unistd.h>

using namespace support;

namespace {

std::string SampleMap()
{
    return testutil::ReadFile(std::string(KSS_SOURCE_DIR) + "/fuzz/corpus/mapfile/sample.map");
}

TMapFile Parse(const std::string &text, bool *complete = nullptr)
{
    TMapFile map;
    std::istringstream in(text);
    bool ok = map.Load(in);
    if (complete)
        *complete = ok;
    return map;
}

} // namespace

TEST(MapFile, SampleResolvesUnitProcedureAndLine)
{
    bool complete = false;
    TMapFile map = Parse(SampleMap(), &complete);
    ASSERT_TRUE(complete);
    // Segment 2 lines are ignored in the segment and the publics sections.
    ASSERT_EQ(map.Units().size(), 2u);
    EXPECT_EQ(map.Procedures().size(), 3u);
    ASSERT_EQ(map.Lines().size(), 6u);
    EXPECT_EQ(map.Lines()[5].Unit, "SelfUnit");

    // CFGIniFile runs from 0x1000 with length 0x200: both ends are inside.
    EXPECT_EQ(map.UnitAt(0x1000), "CFGIniFile");
    EXPECT_EQ(map.UnitAt(0x1100), "CFGIniFile");
    EXPECT_EQ(map.UnitAt(0x1200), "CFGIniFile");
    EXPECT_EQ(map.UnitAt(0x1201), "SelfUnit");
    EXPECT_EQ(map.UnitAt(0x0FFF), "");
    EXPECT_EQ(map.UnitAt(0x0050), ""); // the data segment's unit is not taken

    EXPECT_EQ(map.ProcedureAt(0x0FFF), ""); // below the first public
    EXPECT_EQ(map.ProcedureAt(0x1000), "CFGIniFile.TCFGIniFile.Load");
    EXPECT_EQ(map.ProcedureAt(0x10A0), "CFGIniFile.TCFGIniFile.Save");
    EXPECT_EQ(map.ProcedureAt(0x5000), "SelfUnit.UserName");

    // An offset exactly at a line record belongs to the line before it.
    EXPECT_EQ(map.LineAt(0x1100), "11");
    EXPECT_EQ(map.LineAt(0x1101), "12");
    EXPECT_EQ(map.LineAt(0x1160), "13");
    EXPECT_EQ(map.LineAt(0x1000), "");
    // Lines of another unit are not considered, even at lower offsets.
    EXPECT_EQ(map.LineAt(0x1215), "40");
    EXPECT_EQ(map.LineAt(0x1210), "");
}

TEST(MapFile, FileOnDiskAndTheProcessWideLists)
{
    testutil::TempDir dir;
    EXPECT_FALSE(LoadMapFile(dir.File("missing.map")));
    EXPECT_FALSE(LoadMapFile(""));
    EXPECT_FALSE(LoadMapFile(dir.Path())); // a folder is not a map file

    std::string crlf;
    for (char c : SampleMap()) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    testutil::WriteFile(dir.File("prog.map"), crlf);
    ASSERT_TRUE(LoadMapFile(dir.File("prog.map")));
    std::string unit, proc, line;
    UnitAt(0x1180, unit);
    ProcedureAt(0x1180, proc);
    LineAt(0x1180, line);
    EXPECT_EQ(unit, "CFGIniFile");
    EXPECT_EQ(proc, "CFGIniFile.TCFGIniFile.Save");
    EXPECT_EQ(line, "13");

    // A failed load empties the lists: nothing of the earlier file answers.
    EXPECT_FALSE(LoadMapFile(dir.File("missing.map")));
    UnitAt(0x1180, unit);
    ProcedureAt(0x1180, proc);
    LineAt(0x1180, line);
    EXPECT_EQ(unit + proc + line, "");
}

TEST(MapFile, IncompleteFilesAreNotUsable)
{
    bool complete = true;
    // Segments and publics without line numbers.
    std::string text = SampleMap();
    text = text.substr(0, text.find("Line numbers for"));
    TMapFile map = Parse(text, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(map.Units().size(), 2u);
    // Data lines before the first header are skipped.
    Parse(" 0001:00001000 00000200 C=CODE M=X\n 0001:00001000 X.Y\n", &complete);
    EXPECT_FALSE(complete);
    // Headers are recognised with blanks removed and case-sensitively.
    map = Parse("detailed map of segments\n 0001:00001000 00000200 C=CODE M=X\n");
    EXPECT_TRUE(map.Units().empty());
    map = Parse("  Detailed   map of   segments  \n 0001:00001000 00000200 C=CODE M=X\n");
    ASSERT_EQ(map.Units().size(), 1u);
    EXPECT_EQ(map.Units()[0].Name, "X");
    EXPECT_EQ(map.Units()[0].End, 0x1200u);
}

TEST(MapFile, MalformedLinesEndTheReadingAndKeepWhatWasParsed)
{
    const std::string head = "Address Publics by Value\n 0001:00000010 A.First\n";
    // A bad hexadecimal number stops the reading.
    TMapFile map = Parse(head + " 0001:0000XY10 A.Bad\n 0001:00000030 A.Later\n");
    ASSERT_EQ(map.Procedures().size(), 1u);
    EXPECT_EQ(map.Procedures()[0].Name, "A.First");
    // A bad segment number too.
    map = Parse(head + " 00x1:00000020 A.Bad\n 0001:00000030 A.Later\n");
    EXPECT_EQ(map.Procedures().size(), 1u);
    // An address cut short by the end of the line: the digits there count.
    map = Parse(head + " 0001:2\n");
    ASSERT_EQ(map.Procedures().size(), 2u);
    EXPECT_EQ(map.Procedures()[1].Offset, 2u);
    EXPECT_EQ(map.Procedures()[1].Name, "");
    // Nothing after the colon at all.
    map = Parse(head + " 0001:\n 0001:00000030 A.Later\n");
    EXPECT_EQ(map.Procedures().size(), 1u);

    // Line-number lines: a pair without its blank, or cut inside the prefix.
    const std::string lines = "Line numbers for U(u.pas) segment .text\n";
    map = Parse(lines + "   7 0001:00000010   8\n   9 0001:00000020\n");
    ASSERT_EQ(map.Lines().size(), 1u);
    EXPECT_EQ(map.Lines()[0].Line, "7");
    EXPECT_EQ(map.Lines()[0].Unit, "U");
    map = Parse(lines + "   7 0001:00000010   8 000\n");
    EXPECT_EQ(map.Lines().size(), 1u);
    map = Parse(lines + "   7 0001:00000010   8 0001:\n");
    EXPECT_EQ(map.Lines().size(), 1u);

    // A segment line without a unit name adds no unit; a short length field
    // stops the reading.
    map = Parse("Detailed map of segments\n 0001:00001000 00000010 C=CODE\n 0001:00002000 00000010 C=CODE M=B\n");
    ASSERT_EQ(map.Units().size(), 1u);
    EXPECT_EQ(map.Units()[0].Name, "B");
    map = Parse("Detailed map of segments\n 0001:00001000\n 0001:00002000 00000010 C=CODE M=B\n");
    EXPECT_TRUE(map.Units().empty());
}

TEST(MapFile, HostileInputStaysBounded)
{
    // A start near the top of 32 bits plus a large length does not wrap.
    TMapFile map = Parse("Detailed map of segments\n 0001:FFFFF000 00002000 C=CODE M=Top\n");
    ASSERT_EQ(map.Units().size(), 1u);
    EXPECT_EQ(map.Units()[0].End, 0x100001000u);
    EXPECT_EQ(map.UnitAt(0x100000000u), "Top");

    // An enormous line stops the reading instead of growing without bound.
    std::string huge = "Address Publics by Value\n 0001:00000010 A.First\n " + std::string(200000, 'x') +
                       ":\n 0001:00000020 A.Later\n";
    map = Parse(huge);
    EXPECT_EQ(map.Procedures().size(), 1u);

    // The unit name of a header without "(" is the rest of the line; a
    // header that names nothing gives the empty unit.
    map = Parse("Line numbers for Lonely\n 1 0001:00000010\nLinenumbersfor\n 2 0001:00000020\n");
    ASSERT_EQ(map.Lines().size(), 2u);
    EXPECT_EQ(map.Lines()[0].Unit, "Lonely");
    EXPECT_EQ(map.Lines()[1].Unit, "");

    // Many pairs on one line all count; blanks only end the line's scan.
    std::string many = "Line numbers for M(m.pas)\n";
    for (int i = 0; i < 100; ++i) {
        char pair[32];
        std::snprintf(pair, sizeof pair, " %d 0001:%08X", i, i);
        many += pair;
    }
    many += "     \n";
    map = Parse(many);
    ASSERT_EQ(map.Lines().size(), 100u);
    EXPECT_EQ(map.Lines()[99].Line, "99");
    EXPECT_EQ(map.Lines()[99].Offset, 99u);
}

TEST(MapFile, ModuleOfAnAddress)
{
    std::string mapName = "x", moduleName = "y";
    MapFileFor(nullptr, mapName, moduleName);
    EXPECT_EQ(mapName, "");
    EXPECT_EQ(moduleName, "");

    // Code of this program: the module is the program file.
    MapFileFor(reinterpret_cast<const void *>(&SampleMap), mapName, moduleName);
    EXPECT_EQ(moduleName, platform::ProgramFileName());
    EXPECT_EQ(mapName, platform::ChangeFileExt(platform::ProgramFileName(), ".map"));

    // Code of a shared library: the module is that library's file.
    MapFileFor(reinterpret_cast<const void *>(&::getpid), mapName, moduleName);
    EXPECT_NE(moduleName.find("libc"), std::string::npos) << moduleName;
    EXPECT_NE(moduleName, platform::ProgramFileName());
    EXPECT_EQ(mapName.substr(mapName.size() - 4), ".map");
}
