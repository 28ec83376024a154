#include "fuzz/entries/xml_reader.hpp"

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/exceptions.hpp"
#include "core/streams.hpp"
#include "xml/xml_reader.hpp"
#include "xml/xml_writer.hpp"

namespace ZELK::Fuzz {

namespace {

// What the reader reported for one entity.
struct Entity {
    XMLKind kind;
    std::string text;
    std::size_t level;
    std::vector<std::pair<std::string, std::string>> attributes;

    bool operator==(const Entity&) const = default;
};

void check(bool condition, const char* what) {
    if (!condition)
        throw std::logic_error(std::string("XML reader invariant broken: ") + what);
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Checks what must hold for any entity the reader stops on, and records it.
Entity inspect(const XMLReader& reader) {
    Entity entity{reader.kind(), reader.text(), reader.level(), {}};
    check(entity.kind != XMLKind::None, "kind none while entities remain");
    check(reader.is(entity.kind, entity.text, entity.level), "is() rejects the current entity");
    check(!reader.is(entity.kind, entity.text + "x", entity.level), "is() ignores the name");
    check(!reader.is(entity.kind, entity.text, entity.level + 1), "is() ignores the level");
    reader.expect(entity.kind, entity.level);
    reader.expect(entity.kind, entity.text, entity.level);

    const std::string& t = entity.text;
    if (!t.empty())
        check(!isWhite(t.front()) && !isWhite(t.back()), "content not trimmed");
    switch (entity.kind) {
    case XMLKind::Text:
        check(!t.empty(), "white-space-only text not skipped");
        check(t.find('<') == std::string::npos, "text runs over a tag");
        break;
    case XMLKind::Comment:
        check(t.find("-->") == std::string::npos, "comment runs over its end");
        break;
    default:
        for (char c : t)
            check(std::string_view("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789_-.:")
                          .find(c) != std::string_view::npos,
                  "name holds a character that is not a name character");
        break;
    }

    for (const XMLAttribute& attribute : reader.attributes()) {
        check(attribute.name.find('=') == std::string_view::npos, "attribute name holds =");
        check(attribute.name.empty() || !isWhite(attribute.name.front()),
              "attribute name starts with white space");
        entity.attributes.emplace_back(attribute.name, attribute.value);
    }
    if (entity.kind != XMLKind::ElementStart && entity.kind != XMLKind::ElementEmpty)
        check(entity.attributes.empty(), "attributes outside an element start");
    return entity;
}

// Reads the whole document. Returns false when the reader rejected it with its own error.
bool readAll(std::string_view document, std::vector<Entity>& entities) {
    try {
        XMLReader reader(document);
        // A mismatch raises; tried once per document, as raising costs more than reading.
        try {
            reader.expect(reader.kind(), reader.level() + 1);
            check(false, "expect() accepted a wrong level");
        } catch (const UnexpectedValueException&) {
        }
        while (reader.hasMore()) {
            entities.push_back(inspect(reader));
            // Depth of the element stack once the entity is taken: a start opens one level.
            const Entity& last = entities.back();
            const std::size_t depth = last.level + (last.kind == XMLKind::ElementStart ? 1 : 0);
            reader.advance();
            if (reader.hasMore())
                check(reader.level() == (reader.kind() == XMLKind::ElementEnd ? depth - 1 : depth),
                      "level does not follow the nesting");
        }
        check(reader.kind() == XMLKind::None, "kind not none at the end");
        reader.advance();
        check(!reader.hasMore(), "advance() past the end revived the reader");
        return true;
    } catch (const XMLEntityIterationException&) {
    } catch (const XMLAttributeIterationException&) {
    }
    return false;
}

// A string collecting what the writer writes.
class StringWriteStream : public WriteStream {
public:
    void write(const void* src, std::uint64_t count) override {
        text.append(static_cast<const char*>(src), count);
    }
    std::string text;
};

// Whether the writer can reproduce the entities: it writes values between double quotes and
// keeps one value per attribute name.
bool writable(const std::vector<Entity>& entities) {
    for (const Entity& entity : entities) {
        std::map<std::string, std::string> unique;
        for (const auto& [name, value] : entity.attributes) {
            if (value.find('"') != std::string::npos || !unique.emplace(name, value).second)
                return false;
        }
    }
    return true;
}

std::vector<Entity> withoutDeclarations(const std::vector<Entity>& entities) {
    std::vector<Entity> kept;
    for (const Entity& entity : entities) {
        if (entity.kind == XMLKind::Declaration)
            continue;
        kept.push_back(entity);
        // The writer orders attributes by name.
        std::map<std::string, std::string> sorted(entity.attributes.begin(),
                                                  entity.attributes.end());
        kept.back().attributes.assign(sorted.begin(), sorted.end());
    }
    return kept;
}

std::string rewrite(const std::vector<Entity>& entities) {
    StringWriteStream out;
    XMLWriter writer(out);
    for (const Entity& entity : entities) {
        XMLAttributes attributes(entity.attributes.begin(), entity.attributes.end());
        switch (entity.kind) {
        case XMLKind::ElementStart:
            writer.startElement(entity.text, attributes);
            break;
        case XMLKind::ElementEmpty:
            writer.emptyElement(entity.text, attributes);
            break;
        case XMLKind::ElementEnd:
            writer.endElement();
            break;
        case XMLKind::Text:
            writer.writeText(entity.text);
            break;
        case XMLKind::Comment:
            writer.comment(entity.text);
            break;
        default:
            break;
        }
    }
    return out.text;
}

} // namespace

void xmlReader(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    std::vector<Entity> entities;
    if (!readAll(document, entities) || !writable(entities))
        return;

    const std::vector<Entity> expected = withoutDeclarations(entities);
    // Without the declaration between them, two texts would be written as one.
    for (std::size_t i = 1; i < expected.size(); ++i) {
        if (expected[i - 1].kind == XMLKind::Text && expected[i].kind == XMLKind::Text)
            return;
    }
    const std::string written = rewrite(expected);
    std::vector<Entity> reread;
    check(readAll(written, reread), "the reader rejects what the writer wrote");
    check(!reread.empty() && reread.front().kind == XMLKind::Declaration &&
              reread.front().text == "xml",
          "the writer's declaration is missing");
    check(withoutDeclarations(reread) == expected, "written entities read back differently");
}

} // namespace ZELK::Fuzz
