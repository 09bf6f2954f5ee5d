#include "cli/pdf_platform.h"

namespace palmota::cli {

const char* pdfPlatform() {
    return "offscreen";
}

}  // namespace palmota::cli
