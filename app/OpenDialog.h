#pragma once
// The file-open dialog's settings and result, kept between uses: it offers the last chosen
// file again when it next opens. Shown through TDialogs::ExecuteOpen.

#include <QString>

class TOpenDialog {
public:
    // Pairs of description and pattern separated by '|': "Dat files|*.dat|All files|*.*".
    QString Filter;
    QString InitialDir;
    QString FileName; // full path of the chosen file
    // The filter entry in use, from 1: the first at first, then the one last accepted with.
    int FilterIndex = 1;
    // Options of the dialog: the read-only check box is hidden, the file must exist, and the
    // dialog can be resized.
    bool HideReadOnly = true;
    bool FileMustExist = true;
    bool EnableSizing = true;
};

// The filter in the toolkit's form: "Dat files (*.dat);;All files (*.*)". A description
// without a pattern after it is dropped.
QString ToolkitFilter(const QString& filter);
