// The livery scan tests' set-up: the small data base with a model fix, a private prefix and a
// cargo registration, and helpers that write aircraft.cfg files.
#pragma once

#include <filesystem>
#include <string>

#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/scan_reports.h"
#include "support/data_env.h"

namespace vdl::test {

class ScanEnv : public DataEnv {
  protected:
    void SetUp() override {
        DataEnv::SetUp();
        std::string xml(dbaseXml);
        xml.replace(xml.find("</dbase>"), 8,
                    "<fixes><fx wro=\"B73H\" cor=\"B738\"/><fx wro=\"A32N\" cor=\"A20N\"/></fixes></dbase>");
        xml.replace(xml.find("<regs>"), 6,
                    "<regs><r reg=\"HB-\" airl=\"PVT\" type=\"C172\"/><r reg=\"D-AFRA\" airl=\"FDX\" type=\"B77W\" "
                    "cargo=\"true\"/><r reg=\"D-EMPT\" airl=\"DLH\" type=\"\"/>");
        writeWholeFile("input/dbase.xml", xml);
        gf_loadDbase("input/dbase.xml");
        gf_initWorkerSlots(2);
    }

    // Writes the text as the file (UTF-8 path), creating its folders.
    static std::filesystem::path writeCfg(const std::string& path, const std::string& text) {
        const auto p = gf_pathFromUtf8(path);
        std::filesystem::create_directories(p.parent_path());
        writeWholeFile(p, text);
        return p;
    }
};

}  // namespace vdl::test
