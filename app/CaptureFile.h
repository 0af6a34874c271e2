#pragma once
// Names and creation of capture files. A capture file is created
// exclusively under the next free number, so nothing is ever overwritten,
// not even through a symbolic link, and it is removed again unless the
// caller keeps it after a successful save.
#include <string>

namespace app {

// `dir` with a "/" at the end (unchanged when it has one or is empty).
std::string IncludeTrailingPathDelimiter(const std::string &dir);
// folder + "/" + "Image_" + number as "%.5d" + "." + format.
std::string CaptureFileName(const std::string &folder, int number, const std::string &format);
// Creates `dir` and its missing parents; false when that fails. An empty
// name raises EInOutError "Unable to create directory".
bool ForceDirectories(const std::string &dir);

class TCaptureFile {
public:
    // Creates the file of the next free number in `folder`: `counter` goes
    // up by one before every try and `lastFileName` names each try, so both
    // stay past a name that failed. A name held by anything at all (file,
    // folder, symbolic link) is skipped. Raises EFCreateError when the file
    // cannot be created for another reason.
    static TCaptureFile CreateNext(const std::string &folder, const std::string &format,
                                   int &counter, std::string &lastFileName);

    TCaptureFile(TCaptureFile &&other) noexcept;
    TCaptureFile &operator=(TCaptureFile &&) = delete;
    TCaptureFile(const TCaptureFile &) = delete;
    TCaptureFile &operator=(const TCaptureFile &) = delete;
    // Removes the file unless Keep() was called.
    ~TCaptureFile();

    const std::string &FileName() const { return fileName_; }
    // The open descriptor (read and write), -1 after Keep() or Discard().
    int Handle() const { return fd_; }
    // Closes the file and keeps it; raises EInOutError when closing fails.
    void Keep();
    // Closes and removes the file, if it is still the one created here.
    void Discard() noexcept;

private:
    TCaptureFile(std::string fileName, int fd);
    std::string fileName_;
    int fd_ = -1;
    bool kept_ = false;
};

} // namespace app
