// The settings store: every user setting is a signed 32-bit integer under one key of the
// program's initialisation file, read and written through the system's profile functions.
#pragma once

#include <cstdint>
#include <string>

struct IntSetting {
    int32_t value;
    std::string key;
    std::string section;
    std::string fileName;
    int32_t defaultValue;

    // Loads the value from the file at once.
    IntSetting(const std::string& key, const std::string& section, const std::string& fileName,
               int32_t defaultValue);
};

int32_t load(IntSetting& setting);
void save(const IntSetting& setting);
void erase(const IntSetting& setting);

// Leading blanks, one optional sign, then decimal digits up to the first other character,
// accumulated modulo 2^32: every value written with "%u" reads back as the same bit pattern.
int32_t parseSettingValue(const char* text);

extern const std::string MainClassName;
extern const std::string PieClassName;
extern const std::string HelpFileName;
extern const std::string SectionName;
extern const std::string ProductTitle;
extern const std::string WindowTitle;
extern const std::string IniFileName;

extern IntSetting showFiles;
extern IntSetting enableDelete;
extern IntSetting showBytes;
extern IntSetting autoExpand;
extern IntSetting autoCollapse;
extern IntSetting windowWidth;
extern IntSetting windowHeight;
extern IntSetting windowX;
extern IntSetting windowY;
