// Hangul for every text of the window.
//
// FLTK's Xft text draws a whole string in one font and does not fall back per glyph, so the
// default sans face shows Korean as empty boxes. UseKoreanFont asks fontconfig for an installed
// font that covers Hangul, preferring a sans-serif family, and makes it FLTK's Helvetica face
// (plain, bold, italic, bold italic), the face FLTK uses for labels, inputs and message boxes.
// Call it once at start-up, before anything is drawn.
#pragma once

#include <string>

// The family name of the best installed sans-serif font that covers Hangul; empty when none.
std::string FindKoreanFontFamily();

// True when a Hangul font was found and installed as FLTK's Helvetica face.
bool UseKoreanFont();
