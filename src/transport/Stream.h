#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The response stream: a seekable byte stream with a size and a position, in memory or on a file.
class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Size() const = 0;
    virtual void SetSize(int64_t size) = 0;
    virtual int64_t Position() const = 0;
    virtual void SetPosition(int64_t position) = 0;
    // Read and Write move the position and return the bytes moved.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
};

class TMemoryStream final : public TStream {
public:
    int64_t Size() const override { return size_; }
    void SetSize(int64_t size) override;
    int64_t Position() const override { return position_; }
    void SetPosition(int64_t position) override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;

    // Reserves room without changing the size, so that writes of up to that many bytes do not
    // reallocate.
    void Reserve(int64_t capacity);
    const char* Data() const { return bytes_.data(); }

private:
    std::vector<char> bytes_;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

class TFileStream final : public TStream {
public:
    enum class Mode { Create, OpenRead, OpenReadWrite };
    // Throws std::runtime_error when the file cannot be opened or created.
    TFileStream(const std::string& fileName, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Size() const override;
    void SetSize(int64_t size) override;
    int64_t Position() const override;
    void SetPosition(int64_t position) override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
};
