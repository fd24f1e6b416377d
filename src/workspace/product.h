#pragma once
// The product's name, version and release date as the windows show them.
#include <QString>

namespace tw {

inline const QString kProductName = QStringLiteral("Tilewright");
inline const QString kApplicationTitle = QStringLiteral("Tilewright 2005");
inline const QString kProductVersion = QStringLiteral(TILEWRIGHT_VERSION);
inline const QString kReleaseDate = QStringLiteral(TILEWRIGHT_RELEASE_DATE);

// The main window's caption: product name and version.
inline QString mainWindowCaption() { return kApplicationTitle + QStringLiteral(" - Version ") + kProductVersion; }

// The web pages of the Help menu.
inline const QString kHomePageAddress = QStringLiteral("https://tilewright.example/");
inline const QString kForumAddress = QStringLiteral("https://tilewright.example/forum/");
inline const QString kUpdateAddress = QStringLiteral("https://tilewright.example/update/?version=" TILEWRIGHT_VERSION);

} // namespace tw
