// pixmap: turns one text pixel map of res/art (format in res/art/README.md) into the binary file
// that the resource compiler links in. Runs on the build host, so it uses the standard library only.
//
//     pixmap SOURCE.txt OUTPUT.ico|OUTPUT.cur|OUTPUT.bmp
//
// The output name's extension chooses the file format; it must agree with the source's "type".

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The standard 16-colour palette in the order Windows uses for 4-bit pictures.
struct PaletteColour {
    const char* name;
    uint8_t red, green, blue;
};
const PaletteColour palette16[16] = {
    {"black", 0x00, 0x00, 0x00}, {"maroon", 0x80, 0x00, 0x00},  {"green", 0x00, 0x80, 0x00},
    {"olive", 0x80, 0x80, 0x00}, {"navy", 0x00, 0x00, 0x80},    {"purple", 0x80, 0x00, 0x80},
    {"teal", 0x00, 0x80, 0x80},  {"silver", 0xC0, 0xC0, 0xC0},  {"gray", 0x80, 0x80, 0x80},
    {"red", 0xFF, 0x00, 0x00},   {"lime", 0x00, 0xFF, 0x00},    {"yellow", 0xFF, 0xFF, 0x00},
    {"blue", 0x00, 0x00, 0xFF},  {"fuchsia", 0xFF, 0x00, 0xFF}, {"aqua", 0x00, 0xFF, 0xFF},
    {"white", 0xFF, 0xFF, 0xFF},
};
const int black = 0;
const int white = 15;
// Legend values beyond the palette: pixels that let the screen show through (AND mask bit set).
const int transparent = -1;
const int inverse = -2;
const int unknownColour = 16;

enum class Kind { icon, cursor, bitmap };

struct Picture {
    Kind kind = Kind::icon;
    int width = 0;
    int height = 0;
    bool hasHotSpot = false;
    int hotX = 0;
    int hotY = 0;
    std::map<char, int> legend; // character -> palette index, transparent or inverse
    std::vector<std::string> rows;

    int colourAt(int x, int y) const { return legend.at(rows[y][x]); }
};

class SourceError : public std::runtime_error {
public:
    // Line 0 stands for the file as a whole.
    SourceError(const std::string& path, int line, const std::string& message)
        : std::runtime_error(path + (line ? ":" + std::to_string(line) : std::string()) + ": " + message) {}
};

int colourByName(const std::string& name) {
    if (name == "transparent")
        return transparent;
    if (name == "inverse")
        return inverse;
    for (int i = 0; i < 16; ++i)
        if (name == palette16[i].name)
            return i;
    return unknownColour;
}

Picture readPicture(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot open");
    Picture picture;
    bool haveType = false;
    bool inPixels = false;
    int lineNumber = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (inPixels) {
            // Every row is taken literally: '#' and blanks may be pixels here.
            if (static_cast<int>(picture.rows.size()) == picture.height) {
                if (line.find_first_not_of(" \t") != std::string::npos)
                    throw SourceError(path, lineNumber, "more rows than the size says");
                continue;
            }
            if (static_cast<int>(line.size()) != picture.width)
                throw SourceError(path, lineNumber,
                                  "row is " + std::to_string(line.size()) + " pixels wide, not " +
                                      std::to_string(picture.width));
            for (char c : line)
                if (!picture.legend.count(c))
                    throw SourceError(path, lineNumber,
                                      std::string("character '") + c + "' is not in the legend");
            picture.rows.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "type") {
            std::string type;
            words >> type;
            if (type == "icon")
                picture.kind = Kind::icon;
            else if (type == "cursor")
                picture.kind = Kind::cursor;
            else if (type == "bitmap")
                picture.kind = Kind::bitmap;
            else
                throw SourceError(path, lineNumber, "type must be icon, cursor or bitmap");
            haveType = true;
        } else if (keyword == "size") {
            if (!(words >> picture.width >> picture.height) || picture.width < 1 || picture.height < 1 ||
                picture.width > 256 || picture.height > 256)
                throw SourceError(path, lineNumber, "size needs a width and a height from 1 to 256");
        } else if (keyword == "hotspot") {
            if (!(words >> picture.hotX >> picture.hotY))
                throw SourceError(path, lineNumber, "hotspot needs x and y");
            picture.hasHotSpot = true;
        } else if (keyword == "colour") {
            // The legend character is the first non-blank one after the keyword, so it can be any
            // printable character except a blank.
            char c = 0;
            std::string name;
            if (!(words >> c >> name))
                throw SourceError(path, lineNumber, "colour needs a character and a colour name");
            int value = colourByName(name);
            if (value == unknownColour)
                throw SourceError(path, lineNumber, "unknown colour '" + name + "'");
            if (picture.legend.count(c))
                throw SourceError(path, lineNumber, std::string("character '") + c + "' given twice");
            // What each kind can hold: a cursor is black and white, a bitmap has no mask.
            if (!haveType)
                throw SourceError(path, lineNumber, "the type comes before the colours");
            if (picture.kind == Kind::cursor && value >= 0 && value != black && value != white)
                throw SourceError(path, lineNumber,
                                  "a cursor has black, white, transparent and inverse only");
            if (picture.kind == Kind::bitmap && value < 0)
                throw SourceError(path, lineNumber, "a bitmap has no transparent or inverse pixels");
            picture.legend[c] = value;
        } else if (keyword == "pixels") {
            if (!haveType || picture.width == 0)
                throw SourceError(path, lineNumber, "type and size come before the pixels");
            inPixels = true;
        } else {
            throw SourceError(path, lineNumber, "unknown keyword '" + keyword + "'");
        }
    }
    if (!inPixels)
        throw SourceError(path, 0, "no pixels");
    if (static_cast<int>(picture.rows.size()) != picture.height)
        throw SourceError(path, lineNumber, "fewer rows than the size says");

    if (picture.kind == Kind::cursor) {
        if (!picture.hasHotSpot)
            throw SourceError(path, 0, "a cursor needs a hotspot");
        if (picture.hotX < 0 || picture.hotX >= picture.width || picture.hotY < 0 ||
            picture.hotY >= picture.height)
            throw SourceError(path, 0, "the hotspot lies outside the picture");
    } else if (picture.hasHotSpot) {
        throw SourceError(path, 0, "only a cursor has a hotspot");
    }
    if (picture.kind != Kind::bitmap && (picture.width % 8 != 0 || picture.height % 8 != 0))
        throw SourceError(path, 0, "icons and cursors are a multiple of 8 pixels wide and high");
    return picture;
}

void put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Device-independent bitmaps store rows bottom-up, each padded to a whole number of 32-bit words.
int rowBytes(int width, int bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

template <typename PixelBits>
void putRows(std::vector<uint8_t>& out, const Picture& picture, int bitsPerPixel, PixelBits bitsAt) {
    int stride = rowBytes(picture.width, bitsPerPixel);
    for (int y = picture.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < picture.width; ++x) {
            int bitOffset = x * bitsPerPixel;
            int shift = 8 - bitsPerPixel - bitOffset % 8; // leftmost pixel in the high bits
            row[bitOffset / 8] |= static_cast<uint8_t>(bitsAt(x, y) << shift);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

void putInfoHeader(std::vector<uint8_t>& out, int width, int height, int bitsPerPixel, uint32_t imageBytes,
                   int paletteSize) {
    put32(out, 40); // BITMAPINFOHEADER
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1); // planes
    put16(out, static_cast<unsigned>(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 0); // pixels per metre, x and y: unknown
    put32(out, 0);
    put32(out, static_cast<uint32_t>(paletteSize));
    put32(out, 0); // all colours important
}

void putPaletteEntry(std::vector<uint8_t>& out, int index) {
    const PaletteColour& c = palette16[index];
    out.push_back(c.blue); // RGBQUAD order
    out.push_back(c.green);
    out.push_back(c.red);
    out.push_back(0);
}

// One .ico or .cur file holding one image: the directory, then the image as a DIB whose header gives
// the doubled height of the colour (XOR) rows and the AND mask that follows them.
std::vector<uint8_t> iconFile(const Picture& picture) {
    bool cursor = picture.kind == Kind::cursor;
    int bitsPerPixel = cursor ? 1 : 4;
    int paletteSize = cursor ? 2 : 16;
    uint32_t xorBytes = static_cast<uint32_t>(rowBytes(picture.width, bitsPerPixel) * picture.height);
    uint32_t andBytes = static_cast<uint32_t>(rowBytes(picture.width, 1) * picture.height);
    uint32_t imageSize = 40 + 4 * paletteSize + xorBytes + andBytes;
    const uint32_t imageOffset = 6 + 16;

    std::vector<uint8_t> out;
    put16(out, 0);                                            // reserved
    put16(out, cursor ? 2 : 1);                               // resource type
    put16(out, 1);                                            // image count
    out.push_back(static_cast<uint8_t>(picture.width % 256)); // 0 stands for 256
    out.push_back(static_cast<uint8_t>(picture.height % 256));
    out.push_back(static_cast<uint8_t>(paletteSize));
    out.push_back(0);
    // A cursor keeps its hot spot where an icon keeps planes and bit count.
    put16(out, static_cast<unsigned>(cursor ? picture.hotX : 1));
    put16(out, static_cast<unsigned>(cursor ? picture.hotY : bitsPerPixel));
    put32(out, imageSize);
    put32(out, imageOffset);

    putInfoHeader(out, picture.width, picture.height * 2, bitsPerPixel, xorBytes + andBytes, 0);
    if (cursor) {
        putPaletteEntry(out, black);
        putPaletteEntry(out, white);
    } else {
        for (int i = 0; i < 16; ++i)
            putPaletteEntry(out, i);
    }
    // Where the AND bit is set the screen is XORed with the colour bits: black leaves it as it is,
    // white inverts it.
    putRows(out, picture, bitsPerPixel, [&](int x, int y) {
        int colour = picture.colourAt(x, y);
        if (colour == transparent)
            return 0;
        if (colour == inverse)
            return cursor ? 1 : white;
        return cursor ? (colour == white ? 1 : 0) : colour;
    });
    putRows(out, picture, 1, [&](int x, int y) { return picture.colourAt(x, y) < 0 ? 1 : 0; });
    return out;
}

// A 4-bit bottom-up .bmp file with the 16-colour palette.
std::vector<uint8_t> bitmapFile(const Picture& picture) {
    uint32_t imageBytes = static_cast<uint32_t>(rowBytes(picture.width, 4) * picture.height);
    const uint32_t pixelOffset = 14 + 40 + 16 * 4;

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, pixelOffset + imageBytes);
    put32(out, 0); // reserved
    put32(out, pixelOffset);
    putInfoHeader(out, picture.width, picture.height, 4, imageBytes, 16);
    for (int i = 0; i < 16; ++i)
        putPaletteEntry(out, i);
    putRows(out, picture, 4, [&](int x, int y) { return picture.colourAt(x, y); });
    return out;
}

std::string extensionOf(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return path.substr(dot + 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pixmap SOURCE.txt OUTPUT.ico|OUTPUT.cur|OUTPUT.bmp\n");
        return 2;
    }
    std::string source = argv[1];
    std::string output = argv[2];
    bool writing = false;
    try {
        Picture picture = readPicture(source);
        std::string extension = extensionOf(output);
        const std::map<std::string, Kind> kinds = {
            {"ico", Kind::icon}, {"cur", Kind::cursor}, {"bmp", Kind::bitmap}};
        auto kind = kinds.find(extension);
        if (kind == kinds.end())
            throw std::runtime_error(output + ": the name must end in .ico, .cur or .bmp");
        if (kind->second != picture.kind)
            throw std::runtime_error(output + ": " + source + " does not draw a ." + extension + " picture");
        std::vector<uint8_t> bytes = picture.kind == Kind::bitmap ? bitmapFile(picture) : iconFile(picture);
        writing = true;
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw std::runtime_error(output + ": cannot write");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pixmap: %s\n", error.what());
        if (writing)
            std::remove(output.c_str()); // no half-written file for the build to take as up to date
        return 1;
    }
    return 0;
}
