#include "cli/pdf_platform.h"

namespace palmota::cli {

// Qt's offscreen platform on Windows has no fonts of its own: its pages would carry no text.
const char* pdfPlatform() {
    return "windows";
}

}  // namespace palmota::cli
