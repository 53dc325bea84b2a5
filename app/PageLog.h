#pragma once
// Finding a page's log: it is the first child of the page's first group box. A page without
// one (the Configuration page, whose first group box holds the port settings) has no log.

class QWidget;
class TLogEdit;

TLogEdit* FindPageLog(QWidget* page);
