// The Japanese Windows font names used by the window and the canvas, mapped to installed fonts.
#include "render/JapaneseFonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace {

QStringList Installed(const QStringList& wanted) {
    const QStringList families = QFontDatabase::families();
    QStringList found;
    for (const QString& name : wanted)
        if (families.contains(name, Qt::CaseInsensitive)) found << name;
    return found;
}

}  // namespace

void InstallJapaneseFontSubstitutes() {
    const QStringList proportional =
        Installed({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
                   QStringLiteral("TakaoPGothic"), QStringLiteral("Droid Sans Japanese")});
    QStringList fixed =
        Installed({QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAGothic"),
                   QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic")});
    fixed << proportional;
    if (!proportional.isEmpty())
        QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), proportional);
    if (!fixed.isEmpty()) {
        QFont::insertSubstitutions(QStringLiteral("MSゴシック"), fixed);
        QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), fixed);
    }
}
