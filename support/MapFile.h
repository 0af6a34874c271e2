#pragma once
// Reader of the linker's map file that may lie beside a module (the module's
// file name with the extension ".map"). It maps an offset in the module's
// code segment to a unit, a public procedure and a source line, so that an
// exception report can say where a failure happened. Only segment 1, the code
// segment, is used. The file is hostile input: every fixed-offset field is
// bounds-checked, and a malformed line ends the reading with what was parsed
// so far.
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace support {

struct TUnitItem {
    std::string Name;
    std::uint64_t Start = 0;
    std::uint64_t End = 0; // inclusive; 64-bit so that Start + length cannot wrap
};

struct TProcedureItem {
    std::string Name;
    std::uint64_t Offset = 0;
};

// A map file repeats its unit for every line number: the record refers to
// the unit's one stored name (TMapFile::LineUnit) so memory stays
// proportional to the file.
struct TLineNumberItem {
    std::uint32_t Unit = 0; // index into TMapFile::LineUnits()
    std::string Line;       // the line number as written
    std::uint64_t Offset = 0;
};

// The three lists of one map file and the lookups over them.
class TMapFile {
public:
    // Empties the lists and reads `mapName`; false when the file does not
    // exist or does not give at least one record of each list.
    bool Load(const std::string &mapName);
    // Empties the lists and reads map-file text from `in`; same result as Load.
    bool Load(std::istream &in);
    void Clear();

    std::string UnitAt(std::uint64_t offset) const;
    std::string ProcedureAt(std::uint64_t offset) const;
    std::string LineAt(std::uint64_t offset) const;

    const std::vector<TUnitItem> &Units() const { return units_; }
    const std::vector<TProcedureItem> &Procedures() const { return procedures_; }
    const std::vector<TLineNumberItem> &Lines() const { return lines_; }
    const std::vector<std::string> &LineUnits() const { return lineUnits_; }
    const std::string &LineUnit(const TLineNumberItem &item) const { return lineUnits_[item.Unit]; }

private:
    bool Complete() const { return !units_.empty() && !procedures_.empty() && !lines_.empty(); }
    void ParseSegmentLine(const std::string &line);
    void ParsePublicLine(const std::string &line);
    void ParseLineNumberLine(const std::string &line, std::uint32_t unit);
    std::uint32_t UnitIndex(const std::string &name);

    std::vector<TUnitItem> units_;
    std::vector<TProcedureItem> procedures_;
    std::vector<TLineNumberItem> lines_;
    std::vector<std::string> lineUnits_;
    std::unordered_map<std::string, std::uint32_t> lineUnitIndex_;
};

// The module that holds `address`: its full file name, the name of its map
// file and the offset of the address in the module's code (the address less
// the module's load base, less one more page when not zero). Both names stay
// empty when the address lies in no loaded module.
std::uint64_t MapFileFor(const void *address, std::string &mapName, std::string &moduleName);

// The process-wide map file: LoadMapFile replaces its contents, the lookups
// read it. Callers that load and look up hold MapFileLock() across the calls
// so another thread's report cannot replace the lists in between.
std::recursive_mutex &MapFileLock();
bool LoadMapFile(const std::string &mapName);
void UnitAt(std::uint64_t offset, std::string &name);
void ProcedureAt(std::uint64_t offset, std::string &name);
void LineAt(std::uint64_t offset, std::string &line);

} // namespace support
