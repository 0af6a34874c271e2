#pragma once
// Streams with scripted misbehaviour for the stream tests.
#include "imaging/Streams.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace imaging_test {

// Holds bytes in memory; can limit how much each Write takes, claim more
// Available than it has, throw on the n-th read, and log Finish calls.
class ScriptedStream : public imaging::TBaseStream {
public:
    explicit ScriptedStream(std::string data = {}, std::vector<std::string> *finishLog = nullptr,
                            std::string name = {})
        : data_(std::move(data)), log_(finishLog), name_(std::move(name))
    {
        CanRead = CanWrite = true;
    }
    ~ScriptedStream() override
    {
        if (log_)
            log_->push_back("free " + name_);
    }

    int Write(const void *Buffer, int Count) override
    {
        const int take = maxWrite_ >= 0 ? std::min(Count, maxWrite_) : Count;
        written_.append(static_cast<const char *>(Buffer), static_cast<std::size_t>(std::max(take, 0)));
        return take;
    }
    int Read(void *Buffer, int Count) override
    {
        if (throwOnRead_ >= 0 && reads_++ == throwOnRead_)
            throw imaging::EInOutError("scripted failure");
        const int n = std::min<int>(Count, static_cast<int>(data_.size() - pos_));
        std::memcpy(Buffer, data_.data() + pos_, static_cast<std::size_t>(std::max(n, 0)));
        pos_ += static_cast<std::size_t>(std::max(n, 0));
        if (n < Count && NoDataExcept)
            throw imaging::EInOutError(imaging::kReadLessThanExpected);
        return n;
    }
    int Available() override { return static_cast<int>(data_.size() - pos_) + extraAvailable_; }
    void Finish() override
    {
        if (log_)
            log_->push_back("finish " + name_);
        if (failFinish_)
            throw imaging::EInOutError("finish failed " + name_);
    }

    int maxWrite_ = -1;
    int extraAvailable_ = 0;
    int throwOnRead_ = -1;
    int reads_ = 0;
    bool failFinish_ = false;
    std::string data_;
    std::string written_;
    std::size_t pos_ = 0;

private:
    std::vector<std::string> *log_;
    std::string name_;
};

// A filter that only logs Finish and its destruction.
class LoggingFilter : public imaging::TFilterStream {
public:
    LoggingFilter(std::unique_ptr<imaging::TBaseStream> next, std::vector<std::string> *log, std::string name)
        : TFilterStream(std::move(next)), log_(log), name_(std::move(name))
    {
    }
    ~LoggingFilter() override { log_->push_back("free " + name_); }
    void Finish() override
    {
        log_->push_back("finish " + name_);
        if (failFinish_)
            throw imaging::EInOutError("finish failed " + name_);
    }
    bool failFinish_ = false;

private:
    std::vector<std::string> *log_;
    std::string name_;
};

// Random bytes from a fixed seed.
inline std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto &c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

} // namespace imaging_test
