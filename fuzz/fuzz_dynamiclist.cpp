// Any bytes as a record list, read directly and buffered: no crash or huge
// allocation, and what loads saves back to the same bytes.
#include "imaging/BufStream.h"
#include "imaging/DynamicLists.h"
#include "imaging/MemStream.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > (1 << 20))
        return 0;
    imaging::TMemStream mem;
    mem.Write(data + 1, static_cast<int>(size - 1));
    for (int pass = 0; pass < 2; ++pass) {
        mem.Seek(0);
        mem.SetNoDataExcept(pass == 0);
        imaging::TDynamicList list(data[0] % 40 + 1, nullptr);
        imaging::TBufferedStream buffered(7, 0, &mem);
        try {
            list.LoadFromStream(pass == 0 ? static_cast<imaging::TBaseStream &>(mem) : buffered);
        } catch (const std::exception &) {
            continue;
        }
        if (list.Count < 0 || list.Count > list.Capacity)
            std::abort();
        imaging::TMemStream out;
        list.SaveToStream(out);
        std::vector<std::uint8_t> back(static_cast<std::size_t>(out.Size()));
        out.Seek(0);
        out.Read(back.data(), out.Size());
        if (list.Count > 0 && (back.size() > size - 1 || std::memcmp(back.data(), data + 1, back.size()) != 0))
            std::abort();
    }
    return 0;
}
