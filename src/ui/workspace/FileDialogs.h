#pragma once
// What the file commands share: their filters in the "Description|pattern;
// pattern|..." form of the settings and menus, a save dialog with a default
// extension, and file names in the encoding the libraries open them with.
#include <QString>
#include <string>

class QWidget;

namespace orvala {

// "Description|pattern;pattern|..." as Qt file dialogs want it: "Description (pattern pattern)".
QString qtFilter(const QString& filter);
// A save dialog over parent starting at proposed (folder and name), with
// filter and a default suffix; empty when cancelled.
QString askSaveName(QWidget* parent, const QString& proposed, const QString& filter, const QString& suffix);
// File names go to the libraries in the file system's own encoding.
std::string nativeName(const QString& name);

}  // namespace orvala
