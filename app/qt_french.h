#pragma once

class QTranslator;

namespace palmota::app {

// Installs Qt's own French texts (qtbase_fr.qm) for the window's widgets: the context menu of
// the amount box, the standard dialogs' buttons. The window's own texts are French already.
// Looked for where Qt keeps its translations (Debian: /usr/share/qt6/translations, from
// qt6-translations-l10n), then in "translations" beside the program (the Windows folder and
// installer). Needs the application object; false when neither place has them, and the
// widgets then speak English. `translator` must outlive its use (the application's).
bool installQtFrench(QTranslator& translator);

}  // namespace palmota::app
