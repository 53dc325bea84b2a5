#pragma once
// The application object: holds the application title (the task-bar text and the caption of
// failure reports) and shows the failure reports through the dialog seam.

#include <QApplication>
#include <QString>

class TDialogs;

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    static TApplication* Instance(); // null when the running application is not ours

    void SetTitle(const QString& title) { m_title = title; }
    QString Title() const { return m_title; }

    // The seam that shows the reports; the application does not own it.
    void SetDialogs(TDialogs* dialogs) { m_dialogs = dialogs; }
    TDialogs* Dialogs() const { return m_dialogs; }

    // Shows a failure report with the text FailureText(message).
    void ShowFailure(const QString& message);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QString m_title;
    TDialogs* m_dialogs = nullptr;
    int m_reporting = 0; // reports shown now; a failure inside a report's own loop is not re-shown
};
