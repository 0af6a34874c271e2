// Map files are read on every exception report: any bytes parse without a crash or hang,
// and every record kept is one the lookups can use.
#include "support/MapFile.h"

#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    support::TMapFile map;
    const bool complete = map.Load(in);
    if (complete && (map.Units().empty() || map.Procedures().empty() || map.Lines().empty()))
        std::abort();
    for (const auto &u : map.Units()) {
        if (u.End < u.Start)
            std::abort(); // the end is computed in 64 bits and cannot wrap
        (void)map.LineAt(u.Start);
        (void)map.ProcedureAt(u.End);
    }
    (void)map.UnitAt(0x1100);
    return 0;
}
