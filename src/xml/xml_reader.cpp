#include "xml/xml_reader.hpp"

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':';
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

[[noreturn]] void unexpectedEntityEnd() {
    throw XMLEntityIterationException("Unexpected end.");
}

[[noreturn]] void unexpectedAttributeEnd() {
    throw XMLAttributeIterationException("Unexpected end.");
}

std::string describe(XMLKind kind, std::string_view name, std::size_t level) {
    std::string text(xmlKindWord(kind));
    text += ' ';
    text += name;
    return text + " at level " + std::to_string(level);
}

} // namespace

std::string_view xmlKindWord(XMLKind kind) {
    switch (kind) {
    case XMLKind::Declaration:
        return "declaration";
    case XMLKind::ElementStart:
        return "element start";
    case XMLKind::ElementEnd:
        return "element end";
    case XMLKind::ElementEmpty:
        return "element empty";
    case XMLKind::Text:
        return "text";
    case XMLKind::Comment:
        return "comment";
    default:
        return "none";
    }
}

XMLAttributeIterator::XMLAttributeIterator(std::string_view attributeText)
    : text_(attributeText), atEnd_(false) {
    advance();
}

void XMLAttributeIterator::advance() {
    if (atEnd_)
        return;
    while (position_ < text_.size() && isWhite(text_[position_]))
        ++position_;
    if (position_ == text_.size()) {
        atEnd_ = true;
        current_ = {};
        return;
    }
    const std::size_t equals = text_.find('=', position_);
    if (equals == std::string_view::npos)
        unexpectedAttributeEnd();
    const std::size_t open = text_.find_first_of("\"'", equals);
    if (open == std::string_view::npos)
        unexpectedAttributeEnd();
    const std::size_t close = text_.find(text_[open], open + 1);
    if (close == std::string_view::npos)
        unexpectedAttributeEnd();
    current_.name = text_.substr(position_, equals - position_);
    current_.value = text_.substr(open + 1, close - open - 1);
    position_ = close + 1;
}

XMLReader::XMLReader(std::string_view document) : document_(document) {
    next_ = document_.empty() ? end : 0;
    advance();
}

std::string_view XMLReader::content() const {
    return document_.substr(contentStart_, contentEnd_ - contentStart_);
}

void XMLReader::setEnd() {
    position_ = end;
    next_ = end;
    kind_ = XMLKind::None;
    contentStart_ = contentEnd_ = 0;
    attributesStart_ = attributesEnd_ = 0;
}

void XMLReader::readEntity(std::size_t p) {
    const std::string_view d = document_;
    attributesStart_ = attributesEnd_ = p;

    if (d[p] != '<') {
        const std::size_t lt = d.find('<', p);
        kind_ = XMLKind::Text;
        contentStart_ = p;
        contentEnd_ = lt == end ? d.size() : lt;
        next_ = lt;
        return;
    }

    if (d.substr(p, 4) == "<!--") {
        const std::size_t close = d.find("-->", p + 4);
        if (close == end)
            unexpectedEntityEnd();
        kind_ = XMLKind::Comment;
        contentStart_ = p + 4;
        contentEnd_ = close;
        next_ = close + 3 < d.size() ? close + 3 : end;
        return;
    }

    std::size_t nameStart = p + 1;
    kind_ = XMLKind::ElementStart;
    if (p + 1 < d.size() && d[p + 1] == '/') {
        kind_ = XMLKind::ElementEnd;
        nameStart = p + 2;
    } else if (p + 1 < d.size() && d[p + 1] == '?') {
        kind_ = XMLKind::Declaration;
        nameStart = p + 2;
    }
    std::size_t nameEnd = nameStart;
    while (nameEnd < d.size() && isNameChar(d[nameEnd]))
        ++nameEnd;
    if (nameEnd >= d.size())
        unexpectedEntityEnd();
    const std::size_t gt = d.find('>', nameEnd);
    if (gt == end)
        unexpectedEntityEnd();

    contentStart_ = nameStart;
    contentEnd_ = nameEnd;
    next_ = gt + 1 < d.size() ? gt + 1 : end;
    if (kind_ == XMLKind::ElementStart) {
        attributesStart_ = nameEnd;
        attributesEnd_ = gt;
        // The "/" closing an empty element belongs to the tag, not to its attributes; the
        // character before ">" lies at or after the name end because "/" is no name character.
        if (d[gt - 1] == '/') {
            kind_ = XMLKind::ElementEmpty;
            attributesEnd_ = gt - 1;
        }
    }
}

void XMLReader::trimContent() {
    while (contentStart_ < contentEnd_ && isWhite(document_[contentStart_]))
        ++contentStart_;
    while (contentEnd_ > contentStart_ && isWhite(document_[contentEnd_ - 1]))
        --contentEnd_;
}

void XMLReader::advance() {
    if (kind_ == XMLKind::ElementStart)
        open_.push_back(content());
    if (next_ == end) {
        setEnd();
        return;
    }
    for (;;) {
        position_ = next_;
        readEntity(position_);
        trimContent();
        // White space between tags, and before the first or after the last one, is layout.
        if (kind_ != XMLKind::Text || contentStart_ < contentEnd_)
            break;
        if (next_ == end) {
            setEnd();
            return;
        }
    }
    if (kind_ == XMLKind::ElementEnd) {
        const std::string_view name = content();
        if (open_.empty())
            throw XMLEntityIterationException("End of element " + std::string(name) +
                                              " found but no matching start.");
        if (open_.back() != name)
            throw XMLEntityIterationException("End of element " + std::string(name) +
                                              " does not match " + std::string(open_.back()) + ".");
        open_.pop_back();
    }
}

bool XMLReader::is(XMLKind kind, std::string_view name, std::size_t level) const {
    return kind_ == kind && content() == name && open_.size() == level;
}

void XMLReader::expect(XMLKind kind, std::size_t level) const {
    if (kind_ == kind && open_.size() == level)
        return;
    throw UnexpectedValueException(
        std::string(xmlKindWord(kind_)) + " at level " + std::to_string(open_.size()),
        std::string(xmlKindWord(kind)) + " at level " + std::to_string(level));
}

void XMLReader::expect(XMLKind kind, std::string_view name, std::size_t level) const {
    if (is(kind, name, level))
        return;
    throw UnexpectedValueException(describe(kind_, content(), open_.size()),
                                   describe(kind, name, level));
}

XMLAttributeIterator XMLReader::attributes() const {
    if (kind_ != XMLKind::ElementStart && kind_ != XMLKind::ElementEmpty)
        return XMLAttributeIterator();
    return XMLAttributeIterator(
        document_.substr(attributesStart_, attributesEnd_ - attributesStart_));
}

} // namespace ZELK
