#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace vdl {

// Saves the document with the XML library's default output, through a temporary file
// renamed over the old one; logs "\"{}\" saved" or "could not save to \"{}\"".
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);

// pugixml's load_file for a regular file only (see gf_isRegularFile); anything else fails as a
// file that cannot be read.
pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path,
                                      unsigned options = pugi::parse_default);

// The meta block of the program's XML data files: five named values in a fixed order.
struct MetaInfo {
    static constexpr std::array<std::string_view, 5> names{"author", "date", "version", "copyright", "MSFS"};

    std::string author;
    std::string date;
    std::string version;
    std::string copyright;
    std::string msfs;

    // The values in the order of `names`.
    std::array<std::string_view, 5> values() const { return {author, date, version, copyright, msfs}; }
};

// This program's meta values: author "Vandrel", today's UTC date "YYYY-MM-DD", the
// program version, copyright, and "2020" or "2024" after MSFS_2020.
MetaInfo gf_programMeta();

// Appends "meta" with one "info" (attributes "name", "value") per entry, in order.
// False when the document would not take the nodes.
bool gf_writeMeta(pugi::xml_node parent, const MetaInfo& meta = gf_programMeta());

// True when the document's top-level "meta" has the entries "author", "date" and
// "version"; otherwise logs "meta data incorrect?" as an error.
bool gf_checkMeta(const pugi::xml_document& doc);

// The value of one entry of the top-level "meta"; none when it is missing.
std::optional<std::string> gf_metaValue(const pugi::xml_document& doc, std::string_view name);

}  // namespace vdl
