// Pull reader for the XML that the program writes: walks a document held in memory one entity
// at a time, keeps the stack of open elements, and lets the caller test kind, name and level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace ZELK {

// Entity kinds; the numbers index the words used in messages.
enum class XMLKind : std::uint8_t {
    Declaration = 0,
    ElementStart = 1,
    ElementEnd = 2,
    ElementEmpty = 3,
    Text = 4,
    Comment = 5,
    None = 6,
};

// The word for a kind in messages ("element start", "text", ...); "none" before the first and
// after the last entity.
std::string_view xmlKindWord(XMLKind kind);

struct XMLAttribute {
    std::string_view name;
    std::string_view value;
};

// Walks the attribute text of one element (everything between its name and its ">", without
// the "/" of an empty element). Names run up to "=" unchanged, values are the text between
// matching double quotes or apostrophes, undecoded. Views point into the reader's document.
class XMLAttributeIterator {
public:
    using value_type = XMLAttribute;
    using difference_type = std::ptrdiff_t;

    XMLAttributeIterator() = default;
    // Positioned on the first attribute, or at the end; raises XMLAttributeIterationException
    // ("Unexpected end.") when the text holds something that is not a complete attribute.
    explicit XMLAttributeIterator(std::string_view attributeText);

    bool atEnd() const { return atEnd_; }
    std::string_view name() const { return current_.name; }
    std::string_view value() const { return current_.value; }
    // Moves to the next attribute or to the end; raises as the constructor does.
    void advance();

    const XMLAttribute& operator*() const { return current_; }
    const XMLAttribute* operator->() const { return &current_; }
    XMLAttributeIterator& operator++() {
        advance();
        return *this;
    }
    void operator++(int) { advance(); }
    bool operator==(std::default_sentinel_t) const { return atEnd_; }

    // Range-for over the remaining attributes.
    XMLAttributeIterator begin() const { return *this; }
    std::default_sentinel_t end() const { return {}; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    XMLAttribute current_;
    bool atEnd_ = true;
};

class XMLReader {
public:
    // Reads the first entity. The document is borrowed, never copied: it must outlive the
    // reader (a temporary string is refused at compile time). Raises as advance() does.
    explicit XMLReader(std::string_view document);
    explicit XMLReader(const char* document) : XMLReader(std::string_view(document)) {}
    explicit XMLReader(std::string&&) = delete;

    // True until advance() has moved past the last entity.
    bool hasMore() const { return position_ != end; }
    // Moves to the next entity that is not white-space-only text; does nothing at the end.
    // Raises XMLEntityIterationException for an unterminated tag or comment ("Unexpected end.")
    // and for an end tag without its start.
    void advance();

    XMLKind kind() const { return kind_; }
    // Element or declaration name; text or comment content without surrounding white space.
    std::string text() const { return std::string(content()); }
    // Depth of the open-element stack: 0 for the root's start and end, 1 for its children.
    std::size_t level() const { return open_.size(); }

    bool is(XMLKind kind, std::string_view name, std::size_t level) const;
    // Return when the current entity matches; otherwise raise UnexpectedValueException naming
    // what was found and what was expected ("text at level 3").
    void expect(XMLKind kind, std::size_t level) const;
    void expect(XMLKind kind, std::string_view name, std::size_t level) const;

    // Attributes of the current element start or empty element; none for other kinds.
    XMLAttributeIterator attributes() const;

private:
    static constexpr std::size_t end = std::string_view::npos;

    std::string_view content() const;
    // Classifies the entity at p (p inside the document) and finds where the next one starts.
    void readEntity(std::size_t p);
    void trimContent();
    void setEnd();

    std::string_view document_;
    std::size_t position_ = end;
    std::size_t next_ = end;
    std::size_t contentStart_ = 0;
    std::size_t contentEnd_ = 0;
    std::size_t attributesStart_ = 0;
    std::size_t attributesEnd_ = 0;
    XMLKind kind_ = XMLKind::None;
    // Names of the open elements, as views into the document.
    std::vector<std::string_view> open_;
};

} // namespace ZELK
