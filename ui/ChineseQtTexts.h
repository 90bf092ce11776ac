#pragma once

namespace quernfold {

/**
 * Makes Qt's own texts (message box buttons, the folder dialog, context menus) Chinese like the rest of the
 * window, whatever the user's locale: installs Qt's zh_CN translations and makes Chinese the default locale.
 * Returns false when Qt's translation files are not installed; the texts then stay English.
 */
bool InstallChineseQtTexts();

}  // namespace quernfold
