#include "textio/records.hpp"

#include "textio/fields.hpp"

namespace tarnvex::textio {

namespace {

// The line being built by one free-format statement.
class FreeLine {
  public:
    explicit FreeLine(std::string& out) : out_(out), start_(out.size()) {}

    int used() const { return static_cast<int>(out_.size() - start_); }
    int remaining() const { return kFreeLineCapacity - used(); }
    bool fresh() const { return fresh_; }
    // True when the previous item of this line was an integer or a real.
    bool after_number() const { return has_prev_ && prev_ != Item::Kind::Text; }

    void put(std::string_view s) { out_.append(s); }
    void put_char(char c) { out_.push_back(c); }

    // Writes out the current line and begins a new, fresh one.
    void new_line() {
        out_.append(kRecordEnd);
        start_ = out_.size();
        fresh_ = true;
        has_prev_ = false;
    }
    void placed(Item::Kind kind) {
        fresh_ = false;
        has_prev_ = true;
        prev_ = kind;
    }
    void finish() {
        if (fresh_ && used() == 0) put_char(' ');
        out_.append(kRecordEnd);
    }

  private:
    std::string& out_;
    std::size_t start_;
    bool fresh_ = true;
    bool has_prev_ = false;
    Item::Kind prev_ = Item::Kind::Text;
};

void place_text(FreeLine& line, std::string_view t) {
    const bool after_number = line.after_number();
    const int sep = after_number ? 1 : 0;
    if (!line.fresh() && sep + static_cast<int>(t.size()) > line.remaining()) line.new_line();
    if (line.fresh()) {
        line.put_char(' ');
    } else if (after_number) {
        line.put_char(' ');
    }
    // A text longer than the rest of the line continues on new lines, each with a blank.
    while (static_cast<int>(t.size()) > line.remaining()) {
        const auto n = static_cast<std::size_t>(line.remaining());
        line.put(t.substr(0, n));
        t.remove_prefix(n);
        line.new_line();
        line.put_char(' ');
    }
    line.put(t);
}

}  // namespace

void append_free(std::string& out, std::span<const Item> items) {
    FreeLine line(out);
    for (const Item& item : items) {
        switch (item.kind) {
            case Item::Kind::Int:
                if (line.remaining() < kFreeIntWidth) line.new_line();
                append_int_field(out, item.i, kFreeIntWidth);
                break;
            case Item::Kind::Real:
                if (line.remaining() < kFreeRealWidth) line.new_line();
                append_free_real(out, item.r);
                break;
            case Item::Kind::Text:
                place_text(line, item.t);
                break;
        }
        line.placed(item.kind);
    }
    line.finish();
}

void append_edited(std::string& out, std::span<const EditDesc> list, std::span<const Item> items) {
    std::size_t next = 0;
    for (const EditDesc& desc : list) {
        if (desc.kind == EditDesc::Kind::Lit) {
            out.append(desc.lit);
            continue;
        }
        for (int rep = 0; rep < desc.repeat; ++rep) {
            if (next == items.size()) {
                out.append(kRecordEnd);
                return;
            }
            const Item& item = items[next++];
            switch (desc.kind) {
                case EditDesc::Kind::I:
                    append_int_field(out, item.i, desc.w);
                    break;
                case EditDesc::Kind::F:
                    append_fixed_field(out, item.r, desc.w, desc.d);
                    break;
                case EditDesc::Kind::A: {
                    std::string_view t = item.t.substr(0, static_cast<std::size_t>(desc.w));
                    out.append(static_cast<std::size_t>(desc.w) - t.size(), ' ');
                    out.append(t);
                    break;
                }
                case EditDesc::Kind::Lit:
                    break;
            }
        }
    }
    out.append(kRecordEnd);
}

}  // namespace tarnvex::textio
