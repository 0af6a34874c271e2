#include "support/MapFile.h"
#include "TestUtil.h"
#include "platform/core/ProgramPath.h"
#include <cstdio>
#include <gtest/gtest.h>
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
    return *(complete ? complete : &ok) = ok, map;
}
} // namespace

TEST(MapFile, SampleResolvesUnitProcedureAndLine)
{
    bool complete = false;
    TMapFile map = Parse(SampleMap(), &complete);
    ASSERT_TRUE(complete); // segment 2 lines are ignored (the summary case shows the units and publics kept)
    // Unit|procedure|line. CFGIniFile runs from 0x1000 with length 0x200: both ends are inside.
    // Nothing lies below the first public, and the data segment's unit is not taken. An offset
    // exactly at a line record belongs to the line before it; lines of another unit do not count.
    const std::string cfg = "CFGIniFile|CFGIniFile.TCFGIniFile.", self = "SelfUnit|SelfUnit.UserName|";
    const std::pair<std::uint64_t, std::string> cases[] = {
        {0x0FFF, "||"}, {0x1000, cfg + "Load|"}, {0x1100, cfg + "Save|11"}, {0x1101, cfg + "Save|12"},
        {0x1200, cfg + "Save|13"}, {0x1201, "SelfUnit|CFGIniFile.TCFGIniFile.Save|"}, {0x1215, self + "40"},
        {0x5000, "|SelfUnit.UserName|"}};
    for (const auto &[offset, want] : cases)
        EXPECT_EQ(map.UnitAt(offset) + "|" + map.ProcedureAt(offset) + "|" + map.LineAt(offset), want) << offset;
}

TEST(MapFile, FileOnDiskAndTheProcessWideLists)
{
    testutil::TempDir dir;
    EXPECT_FALSE(LoadMapFile(dir.File("missing.map")));
    EXPECT_FALSE(LoadMapFile(dir.Path())); // a folder is not a map file
    std::string crlf;
    for (char c : SampleMap())
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    testutil::WriteFile(dir.File("prog.map"), crlf);
    auto at = [](std::uint64_t offset) {
        std::string unit, proc, line;
        return UnitAt(offset, unit), ProcedureAt(offset, proc), LineAt(offset, line), unit + "|" + proc + "|" + line;
    };
    ASSERT_TRUE(LoadMapFile(dir.File("prog.map")));
    EXPECT_EQ(at(0x1180), "CFGIniFile|CFGIniFile.TCFGIniFile.Save|13");
    // A failed load empties the lists: nothing of the earlier file answers.
    EXPECT_FALSE(LoadMapFile(dir.File("missing.map")));
    EXPECT_EQ(at(0x1180), "||");
}

// Everything a parse kept, in one line: "U name start-end", "P name offset", "L unit:line offset".
std::string Summary(const TMapFile &map)
{
    std::ostringstream s;
    s << std::hex;
    for (const auto &u : map.Units())
        s << "U " << u.Name << " " << u.Start << "-" << u.End << "; ";
    for (const auto &p : map.Procedures())
        s << "P " << p.Name << " " << p.Offset << "; ";
    for (const auto &l : map.Lines())
        s << "L " << map.LineUnit(l) << ":" << l.Line << " " << l.Offset << "; ";
    return s.str();
}

TEST(MapFile, IncompleteMalformedAndHostileInput)
{
    bool complete = true;
    // Segments and publics without line numbers are not usable.
    const std::string sample = SampleMap();
    EXPECT_EQ(Summary(Parse(sample.substr(0, sample.find("Line numbers for")), &complete)),
              "U CFGIniFile 1000-1200; U SelfUnit 1201-1400; P CFGIniFile.TCFGIniFile.Load 1000; "
              "P CFGIniFile.TCFGIniFile.Save 1080; P SelfUnit.UserName 1210; ");
    EXPECT_FALSE(complete);
    const std::string pub = "Address Publics by Value\n 0001:00000010 A.First\n", seg = "Detailed map of segments\n",
                      num = "Line numbers for U(support/MapFile.cpp) segment .text\n", first = "P A.First 10; ";
    const std::pair<std::string, std::string> cases[] = {
        // Data lines before the first header are skipped.
        {" 0001:00001000 00000200 C=CODE M=X\n 0001:00001000 X.Y\n", ""},
        // Headers are recognised with blanks removed and case-sensitively.
        {"detailed map of segments\n 0001:00001000 00000200 C=CODE M=X\n", ""},
        {"  Detailed   map of   segments  \n 0001:00001000 00000200 C=CODE M=X\n", "U X 1000-1200; "},
        // A malformed line ends the reading and keeps what was parsed.
        {pub + " 0001:0000XY10 A.Bad\n 0001:00000030 A.Later\n", first},
        // An address cut short by the end of the line: the digits there count.
        {pub + " 0001:2\n", first + "P  2; "},
        // An enormous line stops the reading instead of growing without bound.
        {pub + " " + std::string(200000, 'x') + ":\n 0001:00000020 A.Later\n", first},
        // Line-number lines: a pair without its blank, or cut inside the prefix.
        {num + "   7 0001:00000010   8\n   9 0001:00000020\n", "L U:7 10; "},
        // The unit of a header without "(" is the rest of the line; one naming nothing gives "".
        {"Line numbers for Lonely\n 1 0001:00000010\nLinenumbersfor\n 2 0001:00000020\n",
         "L Lonely:1 10; L :2 20; "},
        // A segment line without a unit name adds no unit; a short length field stops the reading.
        {seg + " 0001:00001000 00000010 C=CODE\n 0001:00002000 00000010 C=CODE M=B\n", "U B 2000-2010; "},
        {seg + " 0001:00001000\n 0001:00002000 00000010 C=CODE M=B\n", ""},
        // A start near the top of 32 bits plus a large length does not wrap.
        {seg + " 0001:FFFFF000 00002000 C=CODE M=Top\n", "U Top fffff000-100001000; "},
    };
    for (const auto &[text, summary] : cases) {
        complete = true;
        EXPECT_EQ(Summary(Parse(text, &complete)), summary) << text.substr(0, 200);
        EXPECT_FALSE(complete);
    }
    EXPECT_EQ(Parse(seg + " 0001:FFFFF000 00002000 C=CODE M=Top\n").UnitAt(0x100000000u), "Top");
    // Many pairs on one line all count; blanks only end the line's scan.
    // Each unit's name is stored once, however many records (and headers)
    // name it: a long name must not be copied into every line record.
    const std::string unit(60000, 'U');
    std::string many;
    for (int h = 0; h < 3; ++h) {
        many += "Line numbers for " + unit + "(app/CFGIniFile.cpp)\n";
        for (int i = 0; i < 1000; ++i) {
            char pair[32];
            many.append(pair, std::size_t(std::snprintf(pair, sizeof pair, " %d 0001:%08X", i, i)));
        }
        many += "     \n";
    }
    const TMapFile map = Parse(many);
    ASSERT_EQ(map.Lines().size(), 3000u);
    EXPECT_EQ(map.LineUnits(), std::vector<std::string>{unit});
    EXPECT_EQ(map.Lines()[999].Line + "@" + std::to_string(map.Lines()[999].Offset), "999@999");
}

TEST(MapFile, ModuleOfAnAddressInASharedLibraryIsThatLibrary)
{
    // The program's own code and no address at all: the exception report tests.
    std::string mapName, moduleName;
    MapFileFor(reinterpret_cast<const void *>(&::getpid), mapName, moduleName);
    EXPECT_NE(moduleName.find("libc"), std::string::npos) << moduleName;
    EXPECT_NE(moduleName, platform::ProgramFileName());
    EXPECT_EQ(mapName.substr(mapName.size() - 4), ".map");
}
