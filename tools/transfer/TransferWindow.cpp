#include "tools/transfer/TransferWindow.h"

#include "tools/transfer/Requests.h"
#include "tools/transfer/TransferTarget.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The bar counts in thousandths: an image's size does not fit the bar's int range.
constexpr int BarSteps = 1000;

QString SizeText(qint64 size) {
    QString text = QStringLiteral("%1 bytes").arg(size);
    if (size >= 1024)
        text += QStringLiteral(" (%1)").arg(QLocale().formattedDataSize(size));
    return text;
}

} // namespace

TTransferWindow::TTransferWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Vell_par"));

    auto* prompt = new QLabel(QStringLiteral("&Image to deliver to the receiver:"));
    m_path = new QLineEdit;
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setPlaceholderText(QStringLiteral("Paste or type the image's path, then Enter"));
    prompt->setBuddy(m_path);
    m_browse = new QPushButton(QStringLiteral("&Browse…"));
    m_file = new QLabel(QStringLiteral("—"));
    m_file->setObjectName(QStringLiteral("file"));
    m_size = new QLabel(QStringLiteral("—"));
    m_size->setObjectName(QStringLiteral("size"));
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, BarSteps);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close = new QPushButton(QStringLiteral("&Close"));

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(m_browse);
    auto* facts = new QFormLayout;
    facts->addRow(QStringLiteral("File:"), m_file);
    facts->addRow(QStringLiteral("Size:"), m_size);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(pathRow);
    layout->addLayout(facts);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addStretch(1);
    layout->addLayout(buttons);

    // Vell Writer finds the path input as the window's first control in tab order.
    setTabOrder(m_path, m_browse);
    setTabOrder(m_browse, m_close);
    m_path->setFocus();

    // Room for a status of two lines from the start, so that a long one (an error with a path
    // in it) neither clips nor makes the window jump.
    m_status->setMinimumHeight(2 * m_status->fontMetrics().lineSpacing());
    SetStatus(QStringLiteral("Waiting for the image: paste or type its path and press Enter."));
    setMinimumWidth(440);
    resize(480, sizeHint().height());

    connect(m_path, &QLineEdit::returnPressed, this, &TTransferWindow::StartDelivery);
    connect(m_browse, &QPushButton::clicked, this, &TTransferWindow::Browse);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_delivery, &TImageDelivery::Progress, this, &TTransferWindow::ShowProgress);
    connect(&m_delivery, &TImageDelivery::AllSent, this, [this](qint64 size) {
        SetStatus(QStringLiteral("All %1 bytes sent; waiting for the receiver simulator to "
                                 "confirm…")
                      .arg(size));
    });
    connect(&m_delivery, &TImageDelivery::Delivered, this, [this](qint64 size) {
        m_progress->setValue(BarSteps); // an empty image too
        Ended(QStringLiteral("Done: %1 bytes delivered").arg(size));
    });
    connect(&m_delivery, &TImageDelivery::Failed, this, &TTransferWindow::Ended);
}

QString TTransferWindow::Status() const {
    return m_status->text();
}

QString TTransferWindow::NoCableStatus() {
    return QStringLiteral("No transfer cable support: this program can deliver images only to "
                          "the receiver simulator (none is running).");
}

void TTransferWindow::HandleRequest(const TRequest& request) {
    switch (request.Kind) {
    case TRequestKind::Minimize: showMinimized(); break;
    // The press lands in the path input, so the paste that follows goes there.
    case TRequestKind::Click: m_path->setFocus(Qt::MouseFocusReason); break;
    case TRequestKind::Paste: Paste(request.Text); break;
    case TRequestKind::Close: close(); break;
    case TRequestKind::Unknown: break;
    }
}

void TTransferWindow::Paste(const QString& text) {
    if (m_delivery.IsRunning()) {
        StartDelivery(); // says why the path was not taken
        return;
    }
    // What is pasted is a whole path: an earlier one left in the input would make it a wrong
    // one, so it is replaced. Through the input's own editing, so that undo brings it back.
    m_path->selectAll();
    m_path->insert(text);
    StartDelivery();
}

void TTransferWindow::StartDelivery() {
    if (m_delivery.IsRunning()) {
        SetStatus(
            QStringLiteral("Still delivering %1: the new path was not taken.").arg(m_file->text()));
        return;
    }
    const QString path = m_path->text();
    if (path.isEmpty()) {
        SetStatus(QStringLiteral("No image chosen: paste or type its path and press Enter."));
        return;
    }
    m_file->setText(QFileInfo(path).fileName());
    m_file->setToolTip(path);
    m_size->setText(QStringLiteral("—"));
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    const TTransferTarget target = ChooseTransferTarget(TransferPortsFolder());
    if (target.SocketPath.isEmpty()) {
        SetStatus(NoCableStatus());
        return;
    }
    QString error;
    if (!m_delivery.Start(path, target.SocketPath, &error)) {
        SetStatus(error);
        return;
    }
    m_size->setText(SizeText(m_delivery.Size()));
    ShowProgress(0, m_delivery.Size());
    SetBusy(true);
    const QString port = QFileInfo(target.SocketPath).fileName();
    SetStatus(target.Running == 1
                  ? QStringLiteral("Delivering %1 to the receiver simulator on %2…")
                        .arg(m_file->text(), port)
                  : QStringLiteral("Delivering %1 to the receiver simulator on %2, the first of "
                                   "%3 running…")
                        .arg(m_file->text(), port)
                        .arg(target.Running));
}

void TTransferWindow::Browse() {
    const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Choose the image"),
                                                        QFileInfo(m_path->text()).absolutePath());
    if (chosen.isEmpty())
        return;
    m_path->setText(chosen);
    StartDelivery();
}

void TTransferWindow::ShowProgress(qint64 done, qint64 size) {
    m_progress->setValue(size > 0 ? int(done * BarSteps / size) : 0);
    m_progress->setFormat(QStringLiteral("%1 of %2 bytes").arg(done).arg(size));
    m_progress->setTextVisible(true);
}

void TTransferWindow::Ended(const QString& status) {
    SetBusy(false);
    SetStatus(status);
}

void TTransferWindow::SetBusy(bool busy) {
    m_path->setReadOnly(busy);
    m_browse->setEnabled(!busy);
}

void TTransferWindow::SetStatus(const QString& status) {
    m_status->setText(status);
    emit StatusChanged(status);
}

void TTransferWindow::closeEvent(QCloseEvent* event) {
    // Closing must end the program at once, a delivery running or not: Vell Writer gives it
    // two seconds.
    m_delivery.Abandon();
    event->accept();
}
