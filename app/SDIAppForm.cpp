#include "SDIAppForm.h"

#include "AboutBox.h"
#include "Dialogs.h"
#include "FailureReport.h"
#include "ImageList.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageLog.h"
#include "Rendering.h"
#include "ToolBar.h"
#include "ToolButton.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QTabWidget>
#include <QTimer>

TSDIAppForm::TSDIAppForm(TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs) {
    BuildControls();
    BindHandlers();
    CheckBox2Click(CheckBox2);

    AppDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!AppDir.endsWith(QDir::separator()))
        AppDir += QDir::separator();
    OpenDialog->InitialDir = AppDir;

    LoadSettings();
    SelectedKind = ikNone;
    ReceiveTable.clear();
    CommandTable.clear();
    BuildMessageTables(ReceiveTable, CommandTable);
    ReceiverState = rsIdle;
    if (CheckBox4->isChecked())
        ToolButton1Click(ToolButton1);

    RichEdit1->SetBackground(0xCC99FF);
    RichEdit2->SetBackground(0x99FFFF);
    RichEdit3->SetBackground(0xCCFFCC);
}

TSDIAppForm::~TSDIAppForm() {
    delete OpenDialog;
    delete ImageList1;
}

void TSDIAppForm::BindHandlers() {
    // Every handler runs guarded: a failure it throws is reported and the program goes on.
    auto bind = [this](auto* sender, auto signal, void (TSDIAppForm::*handler)(QObject*)) {
        connect(sender, signal, this, Guarded([this, sender, handler] { (this->*handler)(sender); }));
    };
    for (TToolButton* button : PortButtons())
        bind(button, &QToolButton::clicked, &TSDIAppForm::ToolButton1Click);
    for (TToolButton* button : ChooseButtons())
        bind(button, &QToolButton::clicked, &TSDIAppForm::FileOpen1Execute);
    for (TToolButton* button : {ToolButton20, ToolButton23, ToolButton27})
        bind(button, &QToolButton::clicked, &TSDIAppForm::ToolButton20Click);
    for (TToolButton* button : {ToolButton16, ToolButton17, ToolButton18})
        bind(button, &QToolButton::clicked, &TSDIAppForm::ToolButton16Click);
    for (TToolButton* button : {ToolButton19, ToolButton24, ToolButton28})
        bind(button, &QToolButton::clicked, &TSDIAppForm::ToolButton19Click);
    for (TToolButton* button : {ToolButton4, ToolButton8, ToolButton12})
        bind(button, &QToolButton::clicked, &TSDIAppForm::FileExit1Execute);
    // Toggled, not clicked: loading the settings ticks the box too, and the panel must follow.
    bind(CheckBox2, &QCheckBox::toggled, &TSDIAppForm::CheckBox2Click);
    bind(Timer1, &QTimer::timeout, &TSDIAppForm::Timer1Timer);
    bind(Timer2, &QTimer::timeout, &TSDIAppForm::Timer2Timer);
}

std::array<TToolButton*, 3> TSDIAppForm::PortButtons() const {
    return {ToolButton1, ToolButton5, ToolButton9};
}

std::array<TToolButton*, 3> TSDIAppForm::ChooseButtons() const {
    return {ToolButton3, ToolButton7, ToolButton11};
}

std::array<TToolButton*, 6> TSDIAppForm::RunButtons() const {
    return {ToolButton16, ToolButton17, ToolButton18, ToolButton19, ToolButton24, ToolButton28};
}

std::array<TLogEdit*, 3> TSDIAppForm::Logs() const { return {RichEdit1, RichEdit2, RichEdit3}; }

TLogEdit* TSDIAppForm::KindLog() const {
    if (SelectedKind >= ikFlash && SelectedKind <= ikEeprom)
        return FindPageLog(PageControl1->widget(SelectedKind));
    return ActivePageLog();
}

TLogEdit* TSDIAppForm::ActivePageLog() const {
    if (TLogEdit* log = FindPageLog(PageControl1->currentWidget()))
        return log;
    return RichEdit1;
}

std::string TSDIAppForm::RenderBytes(const char* bytes, int n) const {
    return ::RenderBytes(bytes, n, CheckBox1->isChecked());
}

void TSDIAppForm::FileExit1Execute(QObject*) {
    SaveSettings();
    CloseExternalWindow();
    close();
}

void TSDIAppForm::FormClose(QObject*) {
    CloseExternalWindow();
    SaveSettings();
}

void TSDIAppForm::closeEvent(QCloseEvent* event) {
    try {
        FormClose(this);
    } catch (...) {
        ReportCurrentException();
    }
    event->accept();
}

void TSDIAppForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The outer size, frame included, is 520 x 416; the frame is known only once shown.
    if (!m_outerSizeSet) {
        m_outerSizeSet = true;
        const QSize frame = frameGeometry().size() - geometry().size();
        if (!frame.isEmpty())
            resize(QSize(520, 416) - frame);
    }
}

// Only the Flash page's lamps hide; hidden, they still follow their lines.
void TSDIAppForm::CheckBox2Click(QObject*) {
    ToolBar1->SetItemVisible(Panel1, CheckBox2->isChecked());
}

void TSDIAppForm::ToolButton20Click(QObject*) { ActivePageLog()->Clear(); }

void TSDIAppForm::HelpAbout1Execute(QObject*) {
    if (m_aboutBox != nullptr)
        m_dialogs.ExecModal(*m_aboutBox);
}

// The receiver dialogue, the image choice, the run and the settings store fill these in.
void TSDIAppForm::ToolButton1Click(QObject*) {}
void TSDIAppForm::FileOpen1Execute(QObject*) {}
void TSDIAppForm::ToolButton16Click(QObject*) {}
void TSDIAppForm::ToolButton19Click(QObject*) {}
void TSDIAppForm::Timer1Timer(QObject*) {}
void TSDIAppForm::Timer2Timer(QObject*) {}
void TSDIAppForm::DecPortChange(QObject*) {}
void TSDIAppForm::LoadSettings() {}
void TSDIAppForm::SaveSettings() {}
void TSDIAppForm::CloseExternalWindow() {}
