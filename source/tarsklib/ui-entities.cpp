// The named character references: HTML 4.01 code points for every name HTML 4.01 defines, the HTML
// named references for the others, and five names of our own (circ, tilde, hyphen, ldquor, sp).
#include "ui-entities.h"

#include <cstring>

namespace tarsk {

namespace {

constexpr UiEntity kEntities[] = {
    {"AElig", 0xC6}, {"Aacute", 0xC1}, {"Acirc", 0xC2}, {"Agrave", 0xC0}, {"Alpha", 0x391}, {"Aring", 0xC5},
    {"Atilde", 0xC3}, {"Auml", 0xC4}, {"Beta", 0x392}, {"Ccedil", 0xC7}, {"Chi", 0x3A7}, {"Dagger", 0x2021},
    {"Delta", 0x394}, {"ETH", 0xD0}, {"Eacute", 0xC9}, {"Ecirc", 0xCA}, {"Egrave", 0xC8}, {"Epsilon", 0x395},
    {"Eta", 0x397}, {"Euml", 0xCB}, {"Gamma", 0x393}, {"Iacute", 0xCD}, {"Icirc", 0xCE}, {"Igrave", 0xCC},
    {"Iota", 0x399}, {"Iuml", 0xCF}, {"Kappa", 0x39A}, {"Lambda", 0x39B}, {"Mu", 0x39C}, {"Ntilde", 0xD1},
    {"Nu", 0x39D}, {"OElig", 0x152}, {"Oacute", 0xD3}, {"Ocirc", 0xD4}, {"Ograve", 0xD2}, {"Omega", 0x3A9},
    {"Omicron", 0x39F}, {"Oslash", 0xD8}, {"Otilde", 0xD5}, {"Ouml", 0xD6}, {"Phi", 0x3A6}, {"Pi", 0x3A0},
    {"Prime", 0x2033}, {"Psi", 0x3A8}, {"Rho", 0x3A1}, {"Scaron", 0x160}, {"Sigma", 0x3A3}, {"THORN", 0xDE},
    {"Tau", 0x3A4}, {"Theta", 0x398}, {"Uacute", 0xDA}, {"Ucirc", 0xDB}, {"Ugrave", 0xD9}, {"Upsilon", 0x3A5},
    {"Uuml", 0xDC}, {"Xi", 0x39E}, {"Yacute", 0xDD}, {"Yuml", 0x178}, {"Zcaron", 0x17D}, {"Zeta", 0x396},
    {"aacute", 0xE1}, {"acirc", 0xE2}, {"acute", 0xB4}, {"aelig", 0xE6}, {"agrave", 0xE0}, {"alefsym", 0x2135},
    {"alpha", 0x3B1}, {"amp", 0x26}, {"and", 0x2227}, {"ang", 0x2220}, {"apos", 0x27}, {"aring", 0xE5},
    {"ast", 0x2A}, {"asymp", 0x2248}, {"atilde", 0xE3}, {"auml", 0xE4}, {"bdquo", 0x201E}, {"beta", 0x3B2},
    {"brvbar", 0xA6}, {"bsol", 0x5C}, {"bull", 0x2022}, {"cap", 0x2229}, {"ccedil", 0xE7}, {"cedil", 0xB8},
    {"cent", 0xA2}, {"chi", 0x3C7}, {"circ", 0x5E}, {"clubs", 0x2663}, {"colon", 0x3A}, {"comma", 0x2C},
    {"commat", 0x40}, {"cong", 0x2245}, {"copy", 0xA9}, {"crarr", 0x21B5}, {"cup", 0x222A}, {"curren", 0xA4},
    {"dArr", 0x21D3}, {"dagger", 0x2020}, {"darr", 0x2193}, {"deg", 0xB0}, {"delta", 0x3B4}, {"diams", 0x2666},
    {"divide", 0xF7}, {"dollar", 0x24}, {"eacute", 0xE9}, {"ecirc", 0xEA}, {"egrave", 0xE8}, {"empty", 0x2205},
    {"emsp", 0x2003}, {"ensp", 0x2002}, {"epsilon", 0x3B5}, {"equals", 0x3D}, {"equiv", 0x2261}, {"eta", 0x3B7},
    {"eth", 0xF0}, {"euml", 0xEB}, {"excl", 0x21}, {"exist", 0x2203}, {"fnof", 0x192}, {"forall", 0x2200},
    {"frac12", 0xBD}, {"frac14", 0xBC}, {"frac34", 0xBE}, {"frasl", 0x2044}, {"gamma", 0x3B3}, {"ge", 0x2265},
    {"grave", 0x60}, {"gt", 0x3E}, {"hArr", 0x21D4}, {"harr", 0x2194}, {"hearts", 0x2665}, {"hellip", 0x2026},
    {"hyphen", 0x2D}, {"iacute", 0xED}, {"icirc", 0xEE}, {"iexcl", 0xA1}, {"igrave", 0xEC}, {"image", 0x2111},
    {"infin", 0x221E}, {"int", 0x222B}, {"iota", 0x3B9}, {"iquest", 0xBF}, {"isin", 0x2208}, {"iuml", 0xEF},
    {"kappa", 0x3BA}, {"lArr", 0x21D0}, {"lambda", 0x3BB}, {"lang", 0x2329}, {"laquo", 0xAB}, {"larr", 0x2190},
    {"lceil", 0x2308}, {"lcub", 0x7B}, {"ldquo", 0x201C}, {"ldquor", 0x84}, {"le", 0x2264}, {"lfloor", 0x230A},
    {"lowast", 0x2217}, {"lowbar", 0x5F}, {"loz", 0x25CA}, {"lpar", 0x28}, {"lsqb", 0x5B}, {"lsquo", 0x2018},
    {"lt", 0x3C}, {"macr", 0xAF}, {"mdash", 0x2014}, {"micro", 0xB5}, {"middot", 0xB7}, {"minus", 0x2212},
    {"mu", 0x3BC}, {"nabla", 0x2207}, {"nbsp", 0xA0}, {"ndash", 0x2013}, {"ne", 0x2260}, {"ni", 0x220B},
    {"not", 0xAC}, {"notin", 0x2209}, {"nsub", 0x2284}, {"ntilde", 0xF1}, {"nu", 0x3BD}, {"num", 0x23},
    {"oacute", 0xF3}, {"ocirc", 0xF4}, {"oelig", 0x153}, {"ograve", 0xF2}, {"oline", 0x203E}, {"omega", 0x3C9},
    {"omicron", 0x3BF}, {"oplus", 0x2295}, {"or", 0x2228}, {"ordf", 0xAA}, {"ordm", 0xBA}, {"oslash", 0xF8},
    {"otilde", 0xF5}, {"otimes", 0x2297}, {"ouml", 0xF6}, {"para", 0xB6}, {"part", 0x2202}, {"percnt", 0x25},
    {"period", 0x2E}, {"permil", 0x2030}, {"perp", 0x22A5}, {"phi", 0x3C6}, {"pi", 0x3C0}, {"piv", 0x3D6},
    {"plus", 0x2B}, {"plusmn", 0xB1}, {"pound", 0xA3}, {"prime", 0x2032}, {"prod", 0x220F}, {"prop", 0x221D},
    {"psi", 0x3C8}, {"quest", 0x3F}, {"quot", 0x22}, {"rArr", 0x21D2}, {"radic", 0x221A}, {"rang", 0x232A},
    {"raquo", 0xBB}, {"rarr", 0x2192}, {"rceil", 0x2309}, {"rcub", 0x7D}, {"rdquo", 0x201D}, {"real", 0x211C},
    {"reg", 0xAE}, {"rfloor", 0x230B}, {"rho", 0x3C1}, {"rpar", 0x29}, {"rsqb", 0x5D}, {"rsquo", 0x2019},
    {"sbquo", 0x201A}, {"scaron", 0x161}, {"sdot", 0x22C5}, {"sect", 0xA7}, {"semi", 0x3B}, {"shy", 0xAD},
    {"sigma", 0x3C3}, {"sigmaf", 0x3C2}, {"sim", 0x223C}, {"sol", 0x2F}, {"sp", 0x20}, {"spades", 0x2660},
    {"sub", 0x2282}, {"sube", 0x2286}, {"sum", 0x2211}, {"sup", 0x2283}, {"sup1", 0xB9}, {"sup2", 0xB2},
    {"sup3", 0xB3}, {"supe", 0x2287}, {"szlig", 0xDF}, {"tau", 0x3C4}, {"there4", 0x2234}, {"theta", 0x3B8},
    {"thetasym", 0x3D1}, {"thinsp", 0x2009}, {"thorn", 0xFE}, {"tilde", 0x7E}, {"times", 0xD7}, {"trade", 0x2122},
    {"uArr", 0x21D1}, {"uacute", 0xFA}, {"uarr", 0x2191}, {"ucirc", 0xFB}, {"ugrave", 0xF9}, {"uml", 0xA8},
    {"upsih", 0x3D2}, {"upsilon", 0x3C5}, {"uuml", 0xFC}, {"verbar", 0x7C}, {"weierp", 0x2118}, {"xi", 0x3BE},
    {"yacute", 0xFD}, {"yen", 0xA5}, {"yuml", 0xFF}, {"zcaron", 0x17E}, {"zeta", 0x3B6}, {"zwj", 0x200D},
    {"zwnj", 0x200C},
};
static_assert(sizeof(kEntities) / sizeof(kEntities[0]) == kEntityCount, "the entity table has 277 names");

constexpr size_t kMaxEntityName = 11;

// Compares the table name with the reference text (length bytes): byte order, and a name that ends
// first orders first.
int compareName(const char* tableName, const char* name, size_t length) {
    int c = std::strncmp(tableName, name, length);
    if (c != 0) {
        return c;
    }
    return tableName[length] == 0 ? 0 : 1;
}

uint32_t hexDigit(char c, bool& ok) {
    ok = true;
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    ok = false;
    return 0;
}

}  // namespace

const UiEntity* entityTable() { return kEntities; }

bool lookupEntity(const char* name, size_t length, uint32_t& codePoint) {
    if (name == nullptr) {
        return false;
    }
    if (length >= 1 && name[0] == '#') {
        uint32_t value = 0;
        if (length >= 2 && name[1] == 'x') {
            for (size_t i = 2; i < length; ++i) {
                bool ok = false;
                uint32_t digit = hexDigit(name[i], ok);
                if (!ok) break;
                value = value * 16u + digit;
            }
        } else {
            for (size_t i = 1; i < length && name[i] >= '0' && name[i] <= '9'; ++i) {
                value = value * 10u + static_cast<uint32_t>(name[i] - '0');
            }
        }
        codePoint = value;
        return true;
    }
    if (length == 0 || length > kMaxEntityName) {
        return false;
    }
    size_t low = 0, high = kEntityCount;
    while (low < high) {
        size_t mid = (low + high) / 2;
        int c = compareName(kEntities[mid].name, name, length);
        if (c == 0) {
            codePoint = kEntities[mid].codePoint;
            return true;
        }
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return false;
}

}  // namespace tarsk
