// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the shared-mime-info package of image/x-mpo, the same text that the context-menu
// registration writes into the user's data folder, so that the installed system copy
// (/usr/share/mime/packages) and the per-user copy come from one place.
#include <iostream>

#include "core/registration/registration_texts.h"

int main() {
    std::cout << veltrane::MimePackageXml();
    return std::cout.flush() ? 0 : 1;
}
