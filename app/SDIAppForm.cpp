// The main window's construction, its handler bindings, the logs it offers the dialogue, and
// exit and close. The dialogue, the run, the image choice and the settings have files of their
// own (SDIAppFormReceiver.cpp, SDIAppFormRun.cpp, SDIAppFormFile.cpp, SDIAppFormSettings.cpp).

#include "SDIAppForm.h"

#include "AboutBox.h"
#include "ComComboBox.h"
#include "ComPort.h"
#include "Dialogs.h"
#include "FailureReport.h"
#include "ImageList.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "PageLog.h"
#include "Rendering.h"
#include "ToolBar.h"
#include "ToolButton.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QTimer>

TSDIAppForm::TSDIAppForm(TServices& services, QWidget* parent)
    : QMainWindow(parent), m_services(services), m_dialogs(services.Dialogs) {
    BuildControls();
    BindHandlers();
    CheckBox2Click(CheckBox2);

    AppDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!AppDir.endsWith(QDir::separator()))
        AppDir += QDir::separator();
    OpenDialog->InitialDir = AppDir;

    // A failure while the window is built is shown, and the window starts anyway: with the
    // settings read so far (the defaults after them) and the port closed.
    try {
        LoadSettings();
    } catch (...) {
        ReportCurrentException();
    }
    SelectedKind = ikNone;
    ReceiveTable.clear();
    CommandTable.clear();
    BuildMessageTables(ReceiveTable, CommandTable);
    ReceiverState = rsIdle;
    if (CheckBox4->isChecked() && m_missingPortName.isEmpty()) {
        try {
            ToolButton1Click(ToolButton1);
        } catch (...) {
            ReportCurrentException();
        }
    }

    RichEdit1->SetBackground(0xCC99FF);
    RichEdit2->SetBackground(0x99FFFF);
    RichEdit3->SetBackground(0xCCFFCC);
}

TSDIAppForm::~TSDIAppForm() {
    // The logs are on their way out: the port's last reports (lines off, port closed) must
    // find them gone, as the handlers expect during teardown.
    RichEdit1 = RichEdit2 = RichEdit3 = nullptr;
    try {
        delete Dec; // closes the port and tells the lamps and the port list
    } catch (...) {
        ReportCurrentException();
    }
    Dec = nullptr;
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
    PageControl1->OnChanging = [this](QObject* sender, bool& allow) {
        PageControl1Changing(sender, allow);
    };

    // The port's and the lamps' handlers run inside the port's dispatch, which reports what
    // they throw.
    Dec->OnAfterOpen = [this](TObject* sender) { DecAfterOpen(sender); };
    Dec->OnAfterClose = [this](TObject* sender) { DecAfterClose(sender); };
    Dec->OnRxChar = [this](TObject* sender, int32_t count) { DecRxChar(sender, count); };
    ComLed3->OnChange = [this](TObject* sender, TLedState state) { ComLed3Change(sender, state); };
    ComLed5->OnChange = [this](TObject* sender, TLedState state) { ComLed5Change(sender, state); };
    DecPort->OnChange = [this](TObject* sender) { DecPortChange(sender); };
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

// --- Logs ------------------------------------------------------------------------------------

TLogEdit* TSDIAppForm::KindLog() const {
    if (SelectedKind >= ikFlash && SelectedKind <= ikEeprom)
        return FindPageLog(PageControl1->widget(SelectedKind));
    return ActivePageLog();
}

TLogEdit* TSDIAppForm::ActivePageLog() const {
    if (TLogEdit* log = FindPageLog(PageControl1->currentWidget()))
        return log;
    return FindPageLog(PageControl1->widget(ikFlash));
}

std::string TSDIAppForm::RenderBytes(const char* bytes, int n) const {
    return ::RenderBytes(bytes, n, CheckBox1->isChecked());
}

// --- Exit and close --------------------------------------------------------------------------

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
    // A failing save keeps the window open once, so that nothing the user set is lost
    // unnoticed; closing again, the user has been told and leaves without saving. Refused for
    // good, a settings file that cannot be written would leave no way out but killing.
    try {
        FormClose(this);
        event->accept();
    } catch (...) {
        if (m_closeRefused) {
            event->accept();
        } else {
            event->ignore();
            m_closeRefused = true;
        }
        ReportCurrentException();
    }
}

void TSDIAppForm::CloseExternalWindow() {
    if (ExternalWindow != 0 && m_services.Windows.IsWindow(ExternalWindow))
        m_services.Windows.SendMessage(ExternalWindow, Win::WM_CLOSE, 0, 0);
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

// --- Small handlers --------------------------------------------------------------------------

// Only the Flash page's lamps hide; hidden, they still follow their lines.
void TSDIAppForm::CheckBox2Click(QObject*) {
    ToolBar1->SetItemVisible(Panel1, CheckBox2->isChecked());
}

void TSDIAppForm::ToolButton20Click(QObject*) { ActivePageLog()->Clear(); }

void TSDIAppForm::HelpAbout1Execute(QObject*) {
    if (m_aboutBox != nullptr)
        m_dialogs.ExecModal(*m_aboutBox);
}
