// Stand files read into memory kept from one park-airport load to the next: parsed documents
// and the bytes of files.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "airports/stand_records.h"

namespace vdl {

// Above this the memory is given back after the document instead of being kept.
inline constexpr size_t standXmlMemoryKept = size_t{64} << 20;

// A document parsed into memory kept for the next load: a learned file of 3,000 stands parses
// into some 20 MB, and fresh pages for it cost the kernel about as much as the parse itself.
// One document at a time holds that memory; another one meanwhile is an ordinary document.
// Destroy it on the thread that made it.
class StandXmlDocument {
public:
    StandXmlDocument();
    StandXmlDocument(const StandXmlDocument&) = delete;
    StandXmlDocument& operator=(const StandXmlDocument&) = delete;

    // pugixml's load_file with its default options.
    pugi::xml_parse_result loadFile(const std::filesystem::path& file);
    const pugi::xml_document& doc() const { return doc_; }
    // Whether this document holds the kept memory.
    bool kept() const { return claim_.held(); }

private:
    // Declared before the document: it is given back only after the document is destroyed.
    class Claim {
    public:
        Claim();
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        bool held() const { return held_; }

    private:
        bool held_ = false;
    };
    Claim claim_;
    pugi::xml_document doc_;
};

// Files from this size on are not read into a StandFileBytes.
inline constexpr uint64_t maxStandFileBytes = uint64_t{1} << 30;

// A file's bytes followed by a NUL, read in one go into a buffer kept for the next load: a
// learned file is some megabytes, and fresh pages for it cost the kernel more than reading it.
// One object at a time holds the kept buffer; another one meanwhile has its own.
class StandFileBytes {
public:
    StandFileBytes();
    ~StandFileBytes();
    StandFileBytes(const StandFileBytes&) = delete;
    StandFileBytes& operator=(const StandFileBytes&) = delete;

    // The whole file; false when it cannot be opened or read whole, or is too large.
    bool read(const std::filesystem::path& file);
    char* data() { return buffer_.get(); }
    size_t size() const { return size_; }
    // Whether this object holds the kept buffer.
    bool kept() const { return kept_; }

private:
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    size_t size_ = 0;
    bool kept_ = false;
};

// Empties `stands`, keeping their option lists' room for the next load: a large learned file
// fills some 11 MB of options, and fresh pages for them cost about as much as reading the file.
void gf_keepOptionStorage(std::vector<ParkPos>& stands);

// An empty option list with room for n options: kept room when there is some, in the order it
// was kept (a reload of the same airport finds lists of the sizes it needs).
std::vector<ParkPosOption> gf_optionStorage(size_t n);

// Bytes of kept memory (reserved, not all of it touched) when no document or file held it.
size_t gf_standXmlMemorySize();

// Gives the kept memory back, or, while a document or file holds it, when that one is destroyed.
void gf_releaseStandXmlMemory();

}  // namespace vdl
