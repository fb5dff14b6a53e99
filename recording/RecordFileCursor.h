// A file of fixed-size records mapped into memory with a cursor over it. The main window's
// thread opens and closes it while no player thread runs; the cursor moves on the window's
// and the player's slave thread, under the cursor's own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sync/CSem.h"

namespace ostrel::recording {

class RecordFileCursor {
public:
    RecordFileCursor() = default;
    ~RecordFileCursor();

    RecordFileCursor(const RecordFileCursor&) = delete;
    RecordFileCursor& operator=(const RecordFileCursor&) = delete;

    // Opens an existing file and maps all of it, cursor at the start. The file is held with
    // an exclusive advisory lock until `close`, so a second player cannot open it. False for
    // a missing, locked or empty file (an empty file cannot be mapped), or a record size 0.
    bool open(const std::string& path, uint32_t recordSize);
    void close();

    bool isOpen() const { return base_ != nullptr; }
    const uint8_t* base() const { return base_; }
    size_t size() const { return size_; }
    uint32_t recordSize() const { return recordSize_; }
    size_t recordCount() const { return recordSize_ == 0 ? 0 : size_ / recordSize_; }
    const std::string& path() const { return path_; }

    // Bytes from the base to the cursor.
    size_t offset() const;
    const uint8_t* cursor() const { return base_ + offset(); }
    // The whole record at the cursor, or null when fewer than a record's bytes are left.
    const uint8_t* record() const;

    void rewind();
    // One record on while the cursor is at or before the last byte, never past the end; false
    // only when the cursor already stands at the end.
    bool next();
    // `next`, but only while the cursor still stands on `record`: a seek from another thread
    // since `record` was read wins over the step.
    bool nextFrom(const uint8_t* record);
    // One record back if that stays at or after the base.
    bool prev();
    // To record i when it lies wholly inside the file; else false and the cursor stays.
    bool seekRecord(size_t index);

private:
    int fd_ = -1;
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
    uint32_t recordSize_ = 0;
    std::string path_;
    mutable sync::CSem lock_;  // guards offset_
    size_t offset_ = 0;
};

}  // namespace ostrel::recording
