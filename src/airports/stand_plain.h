// Stand files in the plain form this program writes, read straight from their bytes: no
// document of some 20 MB for a large learned file, only the file's bytes and the records. Any
// file not wholly in that form is read through pugixml as before, so that odd files load
// exactly as a parse reads them.
//
// The plain form: an optional declaration <?xml version="1.0"?> at the very start; elements
// with ASCII names; attributes in either quote, their values free of '<' and of control
// characters but tab, line feed and carriage return, with the five named escapes and character
// references; comments without "--" in them; white space between the elements and no other text.
#pragma once

#include <pugixml.hpp>

#include <filesystem>
#include <optional>

#include "airports/stand_read.h"
#include "airports/stand_xml.h"

namespace vdl {

// The "parkpos" elements of a plain text, from the tape its reading wrote (values decoded).
class PlainParkPosSource final : public ParkPosSource {
public:
    // The tape from tape to end (both null: no elements), of count elements.
    void start(char* tape, char* end, size_t count) {
        p_ = tape;
        end_ = end;
        count_ = count;
    }
    bool next(ParkPosElement& element) override;
    size_t countHint() const override { return count_; }

private:
    const char* p_ = nullptr;
    const char* end_ = nullptr;
    size_t count_ = 0;
};

// One stand file in the plain form.
class PlainStandFile {
public:
    // Reads and checks the whole file in one pass; false when it cannot be read or is not
    // wholly in the plain form, and then nothing of it is used.
    bool load(const std::filesystem::path& file);
    // Every top-level element but the first "parkpositions", parsed by pugixml: the meta block
    // and the parameters, read as from the whole document.
    const pugi::xml_document& head() const { return head_; }
    // The "parkpos" children of the first top-level "parkpositions", once.
    ParkPosSource& parkPositions() { return source_; }

private:
    StandFileBytes bytes_;
    pugi::xml_document head_;
    PlainParkPosSource source_;
};

// Whether the text (followed by a NUL) is wholly in the plain form, in one pass over it that
// also writes the values of the "parkpos" elements of the first top-level "parkpositions" and of
// their "opt" children over the bytes it has read (a tape for PlainParkPosSource): the text is
// changed even when the answer is no. When it is yes, the layout gives where that
// "parkpositions" begins and ends (both null without one), the tape (null when it is empty) and
// the number of its "parkpos" elements.
struct PlainLayout {
    const char* begin = nullptr;
    const char* end = nullptr;
    char* tape = nullptr;
    char* tapeEnd = nullptr;
    size_t parkPosCount = 0;
};
bool gf_readPlainStandText(char* text, size_t size, PlainLayout& layout);

// A stand file read for loading: in the plain form straight from its bytes, any other through
// pugixml (StandXmlDocument).
class StandFileReader {
public:
    // plainFirst false: through pugixml whatever the form. The result is pugixml's for a file
    // read through it, else "no error".
    pugi::xml_parse_result load(const std::filesystem::path& file, bool plainFirst = true);
    // The document that holds the meta block and the parameters.
    const pugi::xml_document& doc() const { return plain_ ? plain_->head() : xml_->doc(); }
    // The "parkpos" elements, once.
    ParkPosSource& parkPositions() { return plain_ ? plain_->parkPositions() : *xmlSource_; }
    // Whether the file was read in the plain form.
    bool plain() const { return plain_.has_value(); }

private:
    std::optional<PlainStandFile> plain_;
    std::optional<StandXmlDocument> xml_;
    std::optional<XmlParkPosSource> xmlSource_;
};

}  // namespace vdl
