#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

// ---------------------------------------------------------------------------------------
// Controls of the main window bound to a parameter (the window model reads these).

enum class ControlKind { CheckBox, TbInt, TbFloat, TbText, Button };

class ParamControl {
  public:
    ParamControl(ControlKind kind, int controlId, int row, std::string_view caption)
        : kind_(kind), controlId_(controlId), row_(row), caption_(caption) {}
    ParamControl(const ParamControl&) = delete;
    ParamControl& operator=(const ParamControl&) = delete;

    ControlKind controlKind() const { return kind_; }
    int controlId() const { return controlId_; }
    int row() const { return row_; }  // row in the window's options area, from 0
    const std::string& caption() const { return caption_; }

    bool enabled() const { return enabled_.load(); }
    void setEnabled(bool on) { enabled_ = on; }

  private:
    ControlKind kind_;
    int controlId_;
    int row_;
    std::string caption_;
    std::atomic<bool> enabled_{true};
};

// ---------------------------------------------------------------------------------------
// Settings. One global object per setting; values are safe to read and set from any
// thread. Setting a value changes only the running program; gf_saveParameter writes it
// to parameters.xml.

class Parameter {
  public:
    explicit Parameter(std::string_view name);  // registers itself (see gf_parameters)
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string& name() const { return name_; }

    virtual std::string text() const = 0;  // the value as parameters.xml holds it
    virtual std::string defaultText() const = 0;
    // Takes a value as read from a file, clamped to the range; false (value unchanged)
    // when the text is not a value of this kind.
    virtual bool setText(std::string_view text) = 0;
    // True when setText takes the text as the value it says: no clamp, no replacement.
    virtual bool takesTextAsIs(std::string_view) const { return true; }
    virtual void resetToDefault() = 0;

    virtual ParamControl* control() { return nullptr; }
    const ParamControl* control() const { return const_cast<Parameter*>(this)->control(); }

  private:
    std::string name_;
};

class BoolParameter : public Parameter {
  public:
    BoolParameter(std::string_view name, bool defaultValue)
        : Parameter(name), default_(defaultValue), value_(defaultValue) {}

    bool value() const { return value_.load(); }
    void set(bool v) { value_ = v; }
    bool defaultValue() const { return default_; }

    std::string text() const override;
    std::string defaultText() const override;
    bool setText(std::string_view text) override;  // true when it begins with 1 t T y Y
    bool takesTextAsIs(std::string_view text) const override;  // true, false (any case), 1 or 0
    void resetToDefault() override { set(default_); }

  private:
    bool default_;
    std::atomic<bool> value_;
};

class IntParameter : public Parameter {
  public:
    IntParameter(std::string_view name, int32_t defaultValue, int32_t minimum, int32_t maximum)
        : Parameter(name), default_(defaultValue), min_(minimum), max_(maximum), value_(defaultValue) {}

    int32_t value() const { return value_.load(); }
    int32_t set(int32_t v);  // clamps; answers the value kept
    int32_t clamp(int32_t v) const { return v < min_ ? min_ : (v > max_ ? max_ : v); }
    int32_t defaultValue() const { return default_; }
    int32_t minimum() const { return min_; }
    int32_t maximum() const { return max_; }

    std::string text() const override;
    std::string defaultText() const override;
    bool setText(std::string_view text) override;
    bool takesTextAsIs(std::string_view text) const override;
    void resetToDefault() override { set(default_); }

  private:
    int32_t default_, min_, max_;
    std::atomic<int32_t> value_;
};

class FloatParameter : public Parameter {
  public:
    FloatParameter(std::string_view name, float defaultValue, float minimum, float maximum)
        : Parameter(name), default_(defaultValue), min_(minimum), max_(maximum), value_(defaultValue) {}

    float value() const { return value_.load(); }
    float set(float v);  // clamps (NaN keeps the value); answers the value kept
    float defaultValue() const { return default_; }
    float minimum() const { return min_; }
    float maximum() const { return max_; }

    std::string text() const override;
    std::string defaultText() const override;
    bool setText(std::string_view text) override;
    bool takesTextAsIs(std::string_view text) const override;
    void resetToDefault() override { set(default_); }

  private:
    float default_, min_, max_;
    std::atomic<float> value_;
};

class StringParameter : public Parameter {
  public:
    StringParameter(std::string_view name, std::string_view defaultValue)
        : Parameter(name), default_(defaultValue), value_(defaultValue) {}

    std::string value() const;
    void set(std::string_view v);
    const std::string& defaultValue() const { return default_; }

    std::string text() const override { return value(); }
    std::string defaultText() const override { return default_; }
    bool setText(std::string_view text) override;
    void resetToDefault() override { set(default_); }

  private:
    std::string default_;
    mutable std::mutex valueMutex;
    std::string value_;
};

// The parameters shown in the main window. The check box state of a CheckBoxParameter
// is its value.
class CheckBoxParameter : public BoolParameter, public ParamControl {
  public:
    CheckBoxParameter(std::string_view name, bool defaultValue, int controlId, int row,
                      std::string_view caption)
        : BoolParameter(name, defaultValue), ParamControl(ControlKind::CheckBox, controlId, row, caption) {}
    ParamControl* control() override { return this; }
};

class TbIntParameter : public IntParameter, public ParamControl {
  public:
    TbIntParameter(std::string_view name, int32_t defaultValue, int32_t minimum, int32_t maximum,
                   int controlId, int row, std::string_view caption)
        : IntParameter(name, defaultValue, minimum, maximum),
          ParamControl(ControlKind::TbInt, controlId, row, caption) {}
    ParamControl* control() override { return this; }
};

// A float in an edit box (MAX_FIT_FL); the window writes it with gf_floatText.
class TbFloatParameter : public FloatParameter, public ParamControl {
  public:
    TbFloatParameter(std::string_view name, float defaultValue, float minimum, float maximum, int controlId,
                     int row, std::string_view caption)
        : FloatParameter(name, defaultValue, minimum, maximum),
          ParamControl(ControlKind::TbFloat, controlId, row, caption) {}
    ParamControl* control() override { return this; }
};

class TbTextParameter : public StringParameter, public ParamControl {
  public:
    TbTextParameter(std::string_view name, std::string_view defaultValue, int controlId, int row,
                    std::string_view caption)
        : StringParameter(name, defaultValue), ParamControl(ControlKind::TbText, controlId, row, caption) {}
    ParamControl* control() override { return this; }
};

// A push button that toggles a setting (the simulator switch).
class ButtonParameter : public BoolParameter, public ParamControl {
  public:
    ButtonParameter(std::string_view name, bool defaultValue, int controlId, int row,
                    std::string_view caption)
        : BoolParameter(name, defaultValue), ParamControl(ControlKind::Button, controlId, row, caption) {}
    ParamControl* control() override { return this; }
};

// ---------------------------------------------------------------------------------------
// The settings.

extern TbIntParameter AIRPORT_RANGE;   // nm, 8..30
extern TbIntParameter AIRPORT_HEIGHT;  // ft above ground, 2000..45000
extern CheckBoxParameter AUTO_RANGE;
extern TbTextParameter BLOCK_CALLSIGN;
extern TbTextParameter CALLSIGN_2_OBJECTID;
extern CheckBoxParameter CALLSIGN_OBJECTIDS;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_USER_GND;
extern TbTextParameter DESTINATION;
extern BoolParameter GUID_CHANGES;
extern IntParameter HOLDING_THRESHOLD_METERS;  // 10..4000
extern IntParameter MAX_HOLDING_MINUTES;       // 1..60
extern TbIntParameter LATERAL_RANGE;           // nm, 2..100; see gf_setLateralRange
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter LOG;
extern IntParameter MATCHING_DEPTH;  // 1..4
extern IntParameter MAX_FIT;         // half hours, 0..47
extern TbFloatParameter MAX_FIT_FL;  // hours, 0.5..24.0
extern TbIntParameter MAX_LIVE;      // -1 (no limit)..300
extern ButtonParameter MSFS_2020;    // on: MSFS 2020, off: MSFS 2024
extern StringParameter MSFS_INSTALL_PATH;
extern StringParameter MSFS_2024_INSTALL_PATH;
// Where the main window was when the program last ended (screen pixels); windowNotPlaced: never.
inline constexpr int32_t windowNotPlaced = -32768;
extern IntParameter WINDOW_LEFT;
extern IntParameter WINDOW_TOP;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern TbIntParameter parking_percentage;       // 0..100
extern IntParameter CUSTOM_PARKING_PERCENTAGE;  // -1 (not set)..100
extern TbIntParameter CUSTOM_MAX_PARK;          // -1 (not set)..500
extern CheckBoxParameter RANDOM;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter SCAN_LIVERIES;
extern BoolParameter LIG_AUTOMATIC;
extern BoolParameter LIG_PRIORITIZE;
extern IntParameter AI_PACKAGE_ORDER;  // 1..6
extern BoolParameter SUPPRESS_STUB;
extern StringParameter lfolder0, lfolder1, lfolder2, lfolder3, lfolder4, lfolder5, lfolder6, lfolder7,
    lfolder8, lfolder9;
extern const std::array<StringParameter*, 10> lfolders;  // lfolder0..lfolder9
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter PARK_SOFT;
extern CheckBoxParameter PARK_FAKE;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter LEARN_SOFT;
extern StringParameter PORT_NUMBER;  // the RealTraffic TCP port, "10747"
extern BoolParameter EXTERNAL_LINK;  // on: another program holds the RealTraffic link
// The simulator SDK's folder, where SimConnect.dll is looked for when it is not beside the
// program (Windows); empty: nowhere else.
extern StringParameter SIMCONNECT_SDK_PATH;
// The update server, an https address; empty (the default): no update server, nothing is
// downloaded.
extern StringParameter UPDATE_SERVER;
// Caps on one download and on what one zip unpacks to, in MB, 1..2000 (default 200).
extern IntParameter DOWNLOAD_LIMIT_MB;
extern IntParameter UNZIP_LIMIT_MB;

// Copies of LATERAL_RANGE kept by gf_setLateralRange.
inline std::atomic<double> lateralRangeNm{40.0};
inline std::atomic<double> lateralRangeMeters{40.0 * 1852.0};
// LATERAL_RANGE's own value kept while AUTO_RANGE is on, restored when it goes off; -1 none.
// Here, low, because the window, the automatic range and the airport stand files all use it.
inline std::atomic<int32_t> savedLateralRange{-1};
// AUTO_RANGE is on and the automatic range is exactly 10 nm: airborne streams are not extended.
inline std::atomic<bool> atTenNm{false};

// Sets LATERAL_RANGE clamped to 2..100 and both copies from the clamped value.
void gf_setLateralRange(int32_t nauticalMiles);

// Every parameter, in the order of definition (registered at static initialisation).
const std::vector<Parameter*>& gf_parameters();
Parameter* gf_findParameter(std::string_view name);

// ---------------------------------------------------------------------------------------
// parameters.xml: root "parameters", one "parameter" per setting with "name" and "value",
// in the program's folder under AppData (gf_parametersPath). Written to a temporary file
// and renamed. File access is serialised by parametersMutex.

extern std::mutex parametersMutex;

// Loads the file into the parameters (values clamped). A missing file is rebuilt from
// the defaults; entries of unknown or repeated names are removed and missing ones added,
// and the file is then written back. An unreadable file is kept as "parameters.xml.bad"
// and rebuilt. False when the file could not be written.
bool gf_loadParameters();

// Writes the parameter's current value into parameters.xml, creating the entry (or the
// file, from the defaults) when missing. False when the file could not be written.
bool gf_saveParameter(const Parameter& parameter);
void gf_saveBoolParameter(const BoolParameter& parameter);

// Every parameter back to its default (no file access); savedLateralRange and atTenNm cleared.
void gf_resetParametersToDefaults();

// XPath that selects the "parameter" child of the top-level "parameters" element whose
// "name" attribute equals the given name.
std::string gf_parameterXPath(std::string_view name);

}  // namespace vdl
