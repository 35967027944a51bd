#pragma once
// Where records go: a writer that builds each statement's records and hands them on whole
// to its device, and the one that keeps them as a string.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "tarnvex/result_file.hpp"
#include "textio/records.hpp"

namespace tarnvex::textio {

// An output channel: builds each statement's records in a reused buffer, then hands
// them on whole. As a RecordSink it takes records already built.
class RecordWriter : public RecordSink {
  public:
    RecordWriter() { buf_.reserve(4096); }
    ~RecordWriter() override = default;
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void write_free(std::initializer_list<Item> items) {
        append_free(buf_, items);
        flush_records();
    }
    void write_edited(std::span<const EditDesc> list, std::span<const Item> items) {
        append_edited(buf_, list, items);
        flush_records();
    }
    void write_edited(std::span<const EditDesc> list, std::initializer_list<Item> items) {
        write_edited(list, std::span<const Item>(items.begin(), items.size()));
    }
    void write(std::string_view records) final { emit(records); }

  protected:
    // Delivers complete records (CR LF ended) to the device.
    virtual void emit(std::string_view records) = 0;

  private:
    void flush_records() {
        emit(buf_);
        buf_.clear();
    }
    std::string buf_;
};

// Collects records in memory; for tests and in-process runs.
class StringWriter final : public RecordWriter {
  public:
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

  protected:
    void emit(std::string_view records) override { text_.append(records); }

  private:
    std::string text_;
};

// Takes records and drops them: a run whose console nobody reads.
class NullWriter final : public RecordWriter {
  protected:
    void emit(std::string_view) override {}
};

}  // namespace tarnvex::textio
