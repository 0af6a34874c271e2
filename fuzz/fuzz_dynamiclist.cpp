// Any bytes as a record list, read directly and buffered: no crash or huge
// allocation, and what loads saves back to the same records.
#include "imaging/BufStream.h"
#include "imaging/DynamicLists.h"
#include "imaging/MemStream.h"

#include <algorithm>
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
        // The records saved are the records read; a short block (NoDataExcept
        // off) keeps fewer than the count said, never more.
        const std::size_t bytes = back.size() - 4;
        std::int32_t said = 0;
        std::memcpy(&said, data + 1, std::min<std::size_t>(4, size - 1));
        if (list.Count > 0 && (list.Count > said || 4 + bytes > size - 1 || std::memcmp(back.data() + 4, data + 5, bytes) != 0))
            std::abort();
    }
    return 0;
}
