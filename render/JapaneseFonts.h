// The Japanese Windows font names used by the window and the canvas, mapped to installed fonts.
#pragma once

// Maps "ＭＳ Ｐゴシック", "MSゴシック" and "ＭＳ ゴシック" to the installed Japanese font (Noto
// Sans CJK JP, or another Japanese face when that is missing). Safe to call more than once.
void InstallJapaneseFontSubstitutes();
