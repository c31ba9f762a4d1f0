#pragma once
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace quolva::publish {

// The output of the SWF export, written as the movie is made so that memory does not grow with it.
// The body goes into a new file beside the output, behind room left for the header; once the body is
// complete the header is written in front of it and the file takes the output's name in one step. Until
// then the output is untouched: a run that fails or is abandoned leaves no file behind (the destructor
// removes the unfinished one). An output that is a symbolic link is written where the link leads.
class SwfMovieFile {
public:
    // Fails with PublishError, creating nothing, when the output cannot be written: its folder is
    // missing or not writable, it is not a regular file (a folder, a device, a pipe), or it is an
    // existing file that may not be written.
    explicit SwfMovieFile(const QString& outputPath);
    ~SwfMovieFile();
    SwfMovieFile(const SwfMovieFile&) = delete;
    SwfMovieFile& operator=(const SwfMovieFile&) = delete;

    // Room for a header of this many bytes; the header written at the end may turn out longer or
    // shorter (the frame size changed in the run), and the body is then moved. Before the first Append.
    void ReserveHeader(std::uint32_t bytes);
    void Append(std::string_view bytes);
    std::uint64_t BodyLength() const { return bodyLength_; }

    // Writes `header` in front of the body and gives the file the output's name.
    void Commit(std::string_view header);

private:
    void Flush();
    void WriteAt(std::int64_t offset, const char* data, std::size_t size);
    void MoveBody(std::int64_t from, std::int64_t to);
    [[noreturn]] void Fail(const std::string& what, int error) const;

    QString outputPath_;
    std::string output_;   // the file replaced, encoded for the file system (where links lead)
    std::string partPath_; // the file being written
    int fd_ = -1;
    std::uint32_t reserved_ = 0;
    bool reservedSet_ = false;
    std::uint64_t bodyLength_ = 0;
    std::int64_t written_ = 0; // bytes of body already in the file
    std::string buffer_;
    bool committed_ = false;
};

} // namespace quolva::publish
