#pragma once
// The transfer program's window. Its first control in tab order is the path input: Vell Writer
// clicks into it and pastes the image's path there, and a path pasted, or typed and confirmed
// with Enter, starts the delivery at once. The window then shows the file, its size, the
// progress and, in the status line, how it ended.

#include "tools/transfer/ImageDelivery.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
struct TRequest;

class TTransferWindow final : public QWidget {
    Q_OBJECT
public:
    explicit TTransferWindow(QWidget* parent = nullptr);

    QString Status() const;
    // What is said when no receiver can be reached.
    static QString NoCableStatus();
    void HandleRequest(const TRequest& request);
    // Delivers the image named in the path input to the receiver simulator.
    void StartDelivery();

signals:
    void StatusChanged(const QString& status);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Paste(const QString& text);
    void Browse();
    void ShowProgress(qint64 done, qint64 size);
    void Ended(const QString& status);
    void SetBusy(bool busy);
    void SetStatus(const QString& status);

    QLineEdit* m_path;
    QPushButton* m_browse;
    QLabel* m_file;
    QLabel* m_size;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPushButton* m_close;
    TImageDelivery m_delivery;
};
