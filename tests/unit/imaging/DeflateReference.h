#pragma once
// A plain, literal deflate writer kept beside the tests as the reference that
// the fast encoder must match byte for byte: a 64 KiB ring window, one bucket
// of 64 positions per byte pair (17 MB, every byte 0x80 at the start), the
// copy loop and the three block steps exactly as the format's writer runs them.
#include "imaging/Huffman.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace reference {

class RefDeflate {
public:
    RefDeflate() : window_(65536), table_(65536), symbols_(65537)
    {
        std::memset(table_.data(), 0x80, table_.size() * sizeof(Bucket));
    }

    std::vector<std::uint8_t> Out;

    void SetBlockType(std::uint8_t v)
    {
        if (v != blockType_ && (blockOpen_ || remaining_ > 0))
            Flush();
        blockType_ = v;
    }

    void Write(const std::uint8_t *buf, std::int64_t count) { WriteImpl(buf, count); }

    void Flush()
    {
        while (remaining_ > 0 || blockOpen_ || finalBlock_) {
            finishing_ = true;
            WriteImpl(nullptr, 0);
        }
    }

    void Finish()
    {
        finalBlock_ = true;
        Flush();
        if (bitPos_ > 0) {
            Out.push_back(bitBuffer_);
            bitPos_ = 0;
            bitBuffer_ = 0;
        }
    }

private:
    struct Bucket {
        std::uint32_t Pos[64];
        std::uint8_t Counter;
    };
    struct Sym {
        std::uint16_t Value, Kind;
    };

    // One bit at a time, least significant first.
    void WriteBits(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            if ((value >> i) & 1)
                bitBuffer_ |= static_cast<std::uint8_t>(1u << bitPos_);
            if (++bitPos_ == 8) {
                Out.push_back(bitBuffer_);
                bitBuffer_ = 0;
                bitPos_ = 0;
            }
        }
    }
    void FlushBits()
    {
        if (bitPos_ > 0)
            Out.push_back(bitBuffer_);
        bitPos_ = 0;
        bitBuffer_ = 0;
    }

    void WriteImpl(const std::uint8_t *buf, std::int64_t count)
    {
        const std::int64_t limit = blockType_ == 2 ? 65535 : 32767;
        while (count > 0 || finishing_) {
            std::int64_t n = std::min<std::int64_t>({limit - remaining_, count, 65536 - copyPos_});
            for (std::int64_t i = 0; i < n; ++i)
                window_[static_cast<std::uint16_t>(copyPos_ + i)] = buf[i];
            copyPos_ = static_cast<std::uint16_t>(copyPos_ + n);
            remaining_ += static_cast<std::uint32_t>(n);
            if (n > 0)
                buf += n;
            count -= n;
            if (blockType_ == 0) {
                if (remaining_ >= 258 || finishing_)
                    DynamicStep();
            } else if (blockType_ == 1) {
                if (remaining_ >= 258 || finishing_)
                    FixedStep();
            } else if (remaining_ == limit || finishing_) {
                StoredBlock();
            }
        }
    }

    std::uint8_t At(std::uint32_t offset) const { return window_[static_cast<std::uint16_t>(windowPos_ + offset)]; }

    void Register(std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (totalPos_ != 0) {
                const std::uint8_t prev = window_[static_cast<std::uint16_t>(windowPos_ - 1)];
                const std::uint8_t cur = window_[windowPos_];
                Bucket &b = table_[prev + 256u * cur];
                b.Pos[b.Counter & 63] = totalPos_;
                b.Counter = static_cast<std::uint8_t>(b.Counter + 1);
            }
            windowPos_ = static_cast<std::uint16_t>(windowPos_ + 1);
            ++totalPos_;
        }
        remaining_ -= count;
    }

    std::uint32_t Search(std::uint32_t &distOut)
    {
        const Bucket &b = table_[At(0) + 256u * At(1)];
        std::uint32_t best = 2;
        for (int k = 63; k >= 0; --k) {
            const int slot = (b.Counter + k) & 63;
            const std::int32_t distance = static_cast<std::int32_t>(totalPos_ - b.Pos[slot] + 1);
            if (distance < 1 || distance > 32768)
                break;
            const std::uint16_t cand = static_cast<std::uint16_t>(windowPos_ - distance);
            if (window_[static_cast<std::uint16_t>(cand + best)] == At(best)) {
                std::uint32_t length = 2;
                while (window_[static_cast<std::uint16_t>(cand + length)] == At(length) && length < remaining_ &&
                       length < 258)
                    ++length;
                if (length > best) {
                    best = length;
                    distOut = static_cast<std::uint32_t>(distance);
                }
            }
        }
        return best;
    }

    static void LengthCode(std::uint32_t length, int &sym, int &e, std::uint32_t &extra)
    {
        if (length <= 10) {
            sym = static_cast<int>(254 + length);
            e = 0;
            extra = 0;
        } else if (length == 258) {
            sym = 285;
            e = 0;
            extra = 0;
        } else {
            e = length <= 18 ? 1 : length <= 34 ? 2 : length <= 66 ? 3 : length <= 130 ? 4 : 5;
            const std::uint32_t base = (4u << e) + 3;
            sym = static_cast<int>(261 + 4 * e + ((length - base) >> e));
            extra = (length - base) & ((1u << e) - 1);
        }
    }
    static void DistCode(std::uint32_t distance, int &sym, int &e, std::uint32_t &extra)
    {
        const std::uint32_t d = distance - 1;
        if (d < 4) {
            sym = static_cast<int>(d);
            e = 0;
            extra = 0;
            return;
        }
        int log2 = 0;
        while ((d >> (log2 + 1)) != 0)
            ++log2;
        e = log2 - 1;
        sym = 2 * (e + 1) + static_cast<int>((d >> e) & 1);
        extra = d & ((1u << e) - 1);
    }

    void FixedCodes()
    {
        lit_.SetCount(288);
        for (int s = 0; s <= 287; ++s) {
            std::uint32_t code = 0;
            int len = 0;
            if (s <= 143) {
                code = 0x30 + s;
                len = 8;
            } else if (s <= 255) {
                code = 0x190 + (s - 144);
                len = 9;
            } else if (s <= 279) {
                code = s - 256;
                len = 7;
            } else if (s <= 285) {
                code = 0xC0 + (s - 280);
                len = 8;
            }
            lit_.Codes[s].Length = static_cast<std::uint32_t>(len);
            lit_.Codes[s].Code = len ? imaging::ReverseBits(code, len) : 0;
        }
        dist_.SetCount(32);
        dist_.SetFixedLength(5);
    }

    void EmitCode(const imaging::THuffmanCodes &t, int s) { WriteBits(t.Codes[s].Code, static_cast<int>(t.Codes[s].Length)); }

    void FixedStep()
    {
        if (!blockOpen_) {
            WriteBits(finalBlock_, 1);
            finalBlock_ = 0;
            WriteBits(1, 2);
            FixedCodes();
            blockOpen_ = true;
        }
        while (remaining_ >= 258 || (finishing_ && remaining_ >= 3)) {
            std::uint32_t dist = 0;
            const std::uint32_t len = Search(dist);
            if (len < 3) {
                EmitCode(lit_, At(0));
                Register(1);
            } else {
                int sym, e;
                std::uint32_t extra;
                LengthCode(len, sym, e, extra);
                EmitCode(lit_, sym);
                WriteBits(extra, e);
                DistCode(dist, sym, e, extra);
                EmitCode(dist_, sym);
                WriteBits(extra, e);
                Register(len);
            }
        }
        if (!finishing_)
            return;
        while (remaining_ > 0) {
            EmitCode(lit_, At(0));
            Register(1);
        }
        EmitCode(lit_, 256);
        finishing_ = false;
        blockOpen_ = false;
    }

    void DynamicStep()
    {
        if (!blockOpen_) {
            symbolCount_ = 0;
            blockOpen_ = true;
        }
        while (blockOpen_ && (remaining_ >= 258 || (finishing_ && remaining_ >= 3))) {
            std::uint32_t dist = 0;
            const std::uint32_t len = Search(dist);
            if (len < 3) {
                symbols_[symbolCount_++] = {At(0), 0xFFFF};
                Register(1);
            } else {
                int sym, e;
                std::uint32_t extra;
                LengthCode(len, sym, e, extra);
                symbols_[symbolCount_++] = {static_cast<std::uint16_t>(sym), 0xFFFF};
                if (e)
                    symbols_[symbolCount_++] = {static_cast<std::uint16_t>(extra), static_cast<std::uint16_t>(e)};
                DistCode(dist, sym, e, extra);
                symbols_[symbolCount_++] = {static_cast<std::uint16_t>(sym), 0xFFFE};
                if (e)
                    symbols_[symbolCount_++] = {static_cast<std::uint16_t>(extra), static_cast<std::uint16_t>(e)};
                Register(len);
            }
            if (symbolCount_ >= 65527)
                DynamicBlock();
        }
        if (!finishing_)
            return;
        while (remaining_ > 0) {
            symbols_[symbolCount_++] = {At(0), 0xFFFF};
            Register(1);
        }
        DynamicBlock();
    }

    void DynamicBlock()
    {
        int final = 0;
        if (finalBlock_ && remaining_ == 0) {
            final = 1;
            finalBlock_ = 0;
        }
        WriteBits(final, 1);
        WriteBits(2, 2);
        symbols_[symbolCount_++] = {256, 0xFFFF};
        std::uint32_t lf[288] = {}, df[32] = {};
        for (int i = 0; i < symbolCount_; ++i) {
            if (symbols_[i].Kind == 0xFFFF)
                ++lf[symbols_[i].Value];
            else if (symbols_[i].Kind == 0xFFFE)
                ++df[symbols_[i].Value];
        }
        lit_.SetCount(288);
        dist_.SetCount(32);
        lit_.BuildFromFrequencies(lf, 15);
        dist_.BuildFromFrequencies(df, 15);
        int hlit = 257;
        for (int s = 285; s >= 1; --s)
            if (lit_.Codes[s].Length) {
                hlit = std::max(s + 1, 257);
                break;
            }
        int hdist = 1;
        for (int s = 29; s >= 1; --s)
            if (dist_.Codes[s].Length) {
                hdist = s + 1;
                break;
            }
        std::vector<int> lens;
        for (int i = 0; i < hlit; ++i)
            lens.push_back(static_cast<int>(lit_.Codes[i].Length));
        for (int i = 0; i < hdist; ++i)
            lens.push_back(static_cast<int>(dist_.Codes[i].Length));
        lens.push_back(255);
        std::vector<int> rs, rx, re; // symbol, extra value, extra bits
        int previous = lens[0], run = 1;
        for (std::size_t i = 1; i < lens.size(); ++i) {
            if (lens[i] == previous) {
                ++run;
                continue;
            }
            if (previous != 0) {
                rs.push_back(previous), rx.push_back(0), re.push_back(0);
                --run;
            }
            while (run >= 3) {
                if (previous != 0) {
                    const int t = std::min(run, 6);
                    rs.push_back(16), rx.push_back(t - 3), re.push_back(2);
                    run -= t;
                } else if (run > 10) {
                    const int t = std::min(run, 138);
                    rs.push_back(18), rx.push_back(t - 11), re.push_back(7);
                    run -= t;
                } else {
                    rs.push_back(17), rx.push_back(run - 3), re.push_back(3);
                    run = 0;
                }
            }
            for (; run > 0; --run)
                rs.push_back(previous), rx.push_back(0), re.push_back(0);
            previous = lens[i];
            run = 1;
        }
        std::uint32_t cf[19] = {};
        for (int s : rs)
            ++cf[s];
        imaging::THuffmanCodes cl;
        cl.SetCount(19);
        cl.BuildFromFrequencies(cf, 7);
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        int p = 18;
        while (p > 1 && cl.Codes[order[p]].Length == 0)
            --p;
        WriteBits(static_cast<std::uint32_t>(hlit - 257), 5);
        WriteBits(static_cast<std::uint32_t>(hdist - 1), 5);
        WriteBits(static_cast<std::uint32_t>(p - 3), 4);
        for (int i = 0; i <= p; ++i)
            WriteBits(cl.Codes[order[i]].Length, 3);
        for (std::size_t i = 0; i < rs.size(); ++i) {
            EmitCode(cl, rs[i]);
            WriteBits(static_cast<std::uint32_t>(rx[i]), re[i]);
        }
        for (int i = 0; i < symbolCount_; ++i) {
            if (symbols_[i].Kind == 0xFFFF)
                EmitCode(lit_, symbols_[i].Value);
            else if (symbols_[i].Kind == 0xFFFE)
                EmitCode(dist_, symbols_[i].Value);
            else
                WriteBits(symbols_[i].Value, symbols_[i].Kind);
        }
        finishing_ = false;
        blockOpen_ = false;
    }

    void StoredBlock()
    {
        WriteBits(finalBlock_, 1);
        WriteBits(0, 2);
        FlushBits();
        const std::uint32_t len = remaining_;
        Out.push_back(static_cast<std::uint8_t>(len));
        Out.push_back(static_cast<std::uint8_t>(len >> 8));
        Out.push_back(static_cast<std::uint8_t>(~len));
        Out.push_back(static_cast<std::uint8_t>(~len >> 8));
        std::uint16_t p = windowPos_;
        for (std::uint32_t i = 0; i < len; ++i)
            Out.push_back(window_[static_cast<std::uint16_t>(p + i)]);
        Register(len);
        finishing_ = false;
        finalBlock_ = 0;
    }

    std::vector<std::uint8_t> window_;
    std::vector<Bucket> table_;
    std::vector<Sym> symbols_;
    imaging::THuffmanCodes lit_, dist_;
    std::uint8_t blockType_ = 0;
    std::uint16_t windowPos_ = 0, copyPos_ = 0;
    std::uint32_t remaining_ = 0, totalPos_ = 0;
    int finalBlock_ = 0;
    bool finishing_ = false, blockOpen_ = false;
    int symbolCount_ = 0;
    std::uint8_t bitBuffer_ = 0;
    int bitPos_ = 0;
};

} // namespace reference
