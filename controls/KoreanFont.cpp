#include "controls/KoreanFont.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>

#include <array>

namespace {

// Syllables every Korean window text needs; a font that lacks one of them would show a box.
constexpr std::array<FcChar32, 4> kHangulProbe = {0xD55C /* 한 */, 0xAE00 /* 글 */,
                                                  0xC911 /* 중 */, 0xB2E4 /* 다 */};

bool CoversHangul(FcPattern* font) {
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
    for (FcChar32 c : kHangulProbe) {
        if (!FcCharSetHasChar(charset, c)) return false;
    }
    return true;
}

// A sans-serif request for Korean text that names the syllables it must cover.
FcPattern* HangulSansRequest() {
    FcPattern* request = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    for (FcChar32 c : kHangulProbe) FcCharSetAddChar(wanted, c);
    FcPatternAddString(request, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddString(request, FC_LANG, reinterpret_cast<const FcChar8*>("ko"));
    FcPatternAddCharSet(request, FC_CHARSET, wanted);
    FcCharSetDestroy(wanted);
    FcConfigSubstitute(nullptr, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    return request;
}

// FLTK's Xft names start with a style character: ' ' plain, 'B' bold, 'I' italic, 'P' both.
// FLTK keeps the pointer it is given, so the names live as long as the program.
void SetHelveticaFaces(const std::string& family) {
    static std::array<std::string, 4> names;
    names = {" " + family, "B" + family, "I" + family, "P" + family};
    Fl::set_font(FL_HELVETICA, names[0].c_str());
    Fl::set_font(FL_HELVETICA_BOLD, names[1].c_str());
    Fl::set_font(FL_HELVETICA_ITALIC, names[2].c_str());
    Fl::set_font(FL_HELVETICA_BOLD_ITALIC, names[3].c_str());
}

}  // namespace

std::string FindKoreanFontFamily() {
    if (!FcInit()) return {};
    FcPattern* request = HangulSansRequest();
    FcResult result = FcResultNoMatch;
    // Sorted best first; with trimming, fonts that add no coverage are left out.
    FcFontSet* candidates = FcFontSort(nullptr, request, FcTrue, nullptr, &result);
    std::string family;
    for (int i = 0; candidates && i < candidates->nfont && family.empty(); ++i) {
        FcPattern* font = candidates->fonts[i];
        FcChar8* name = nullptr;
        if (CoversHangul(font) && FcPatternGetString(font, FC_FAMILY, 0, &name) == FcResultMatch) {
            family = reinterpret_cast<const char*>(name);
        }
    }
    if (candidates) FcFontSetDestroy(candidates);
    FcPatternDestroy(request);
    return family;
}

bool UseKoreanFont() {
    const std::string family = FindKoreanFontFamily();
    if (family.empty()) return false;
    SetHelveticaFaces(family);
    return true;
}
