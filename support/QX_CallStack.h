#pragma once
// Call-stack frames: a handler opens a named frame around its work so that
// an exception report can show which routines were in progress, with which
// arguments. Entering and leaving is traced at level 5 under the trace class
// tcCalledFunctions.
#include <memory>
#include <string>
#include <vector>

namespace support {

class TQXCI_Item {
public:
    std::string Name;
    // One entry per frame (possibly empty, possibly several lines).
    std::vector<std::string> Details;
};

// A tracer belongs to the thread that created it; it takes no lock.
class TQXCI {
public:
    TQXCI() = default;
    TQXCI(const TQXCI &) = delete;
    TQXCI &operator=(const TQXCI &) = delete;

    // Pushes a frame and, unless quiet, traces "-> name (args)". Never throws.
    void EnterEx(const std::string &name, const std::string &args, bool quiet) noexcept;
    void Enter(const std::string &name) noexcept { EnterEx(name, {}, false); }
    void EnterMethod(const std::string &className, const std::string &methodName,
                     const std::string &args) noexcept;
    // Traces "<- name" unless quiet and pops the top frame; nothing when empty.
    void Leave(bool quiet = false) noexcept;

    // The "Function call stack" text, every line ending with CR LF.
    void Dump(std::string &s) const;
    std::string Dump() const;

    std::size_t Count() const { return frames_.size(); }
    const TQXCI_Item &Item(std::size_t index) const { return *frames_.at(index); }

private:
    std::vector<std::unique_ptr<TQXCI_Item>> frames_; // index 0 = first entered
};

} // namespace support
