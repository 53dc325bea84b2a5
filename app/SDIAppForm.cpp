// The main window's construction, its handler bindings, and exit and close. What it offers the
// receiver dialogue, the image choice and the settings have files of their own
// (SDIAppFormDialogue.cpp, SDIAppFormFile.cpp, SDIAppFormSettings.cpp), and so has saving a
// log (SDIAppFormLog.cpp).

#include "app/SDIAppForm.h"

#include "app/AboutBox.h"
#include "app/ConfigurationControls.h"
#include "app/Dialogs.h"
#include "app/FailureReport.h"
#include "app/ImageList.h"
#include "app/LogEdit.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/ToolBar.h"
#include "app/ToolButton.h"
#include "controls/ComComboBox.h"
#include "serial/ComPort.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QStandardPaths>
#include <QTimer>
#include <unistd.h>

std::string TSDIAppForm::OwnProgramFolder() {
    // $XDG_DATA_HOME/vell-writer, by default ~/.local/share/vell-writer.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
           "/vell-writer/";
}

TSDIAppForm::TSDIAppForm(TServices& services, QWidget* parent)
    : QMainWindow(parent), m_services(services), m_dialogs(services.Dialogs),
      m_dialogue(*this, services.Windows, services.Files) {
    BuildControls();
    m_optionControls = std::make_unique<TConfigurationControls>(TConfigurationControls::TControls{
        CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, Spin1, DecPort, Dec,
        [this] { CheckBox2Click(CheckBox2); }});
    BindHandlers();
    CheckBox2Click(CheckBox2);

    QString appDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!appDir.endsWith(QDir::separator()))
        appDir += QDir::separator();
    m_dialogue.SetAppDir(appDir.toStdString());
    // An installed program's folder is its package's: the person's own transfer program is kept
    // in a folder of theirs that no upgrade touches, and looked for there first.
    if (QFileInfo(appDir).ownerId() != ::getuid())
        m_dialogue.SetOwnProgramDir(OwnProgramFolder());
    OpenDialog->InitialDir = appDir;

    // A failure while the window is built is shown, and the window starts anyway: with the
    // settings read so far (the defaults after them) and the port closed.
    try {
        LoadSettings();
    } catch (...) {
        ReportCurrentException();
    }
    if (CheckBox4->isChecked() && m_keptOptions.MissingPortName().empty()) {
        try {
            m_dialogue.ToolButton1Click();
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
        connect(sender, signal, this,
                Guarded([this, sender, handler] { (this->*handler)(sender); }));
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
    for (TLogEdit* log : Logs())
        bind(log, &TLogEdit::SaveLogRequested, &TSDIAppForm::SaveLogAs);
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

std::array<TLogEdit*, 3> TSDIAppForm::Logs() const {
    return {RichEdit1, RichEdit2, RichEdit3};
}

TLogEdit* TSDIAppForm::ActivePageLog() const {
    return static_cast<TLogEdit*>(m_dialogue.ActivePageLog());
}

// --- Exit and close --------------------------------------------------------------------------

void TSDIAppForm::FileExit1Execute(QObject*) {
    SaveSettings();
    m_dialogue.CloseExternalWindow();
    close();
}

void TSDIAppForm::FormClose(QObject*) {
    m_dialogue.CloseExternalWindow();
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

void TSDIAppForm::ToolButton20Click(QObject*) {
    ActivePageLog()->Clear();
}

void TSDIAppForm::HelpAbout1Execute(QObject*) {
    if (m_aboutBox != nullptr)
        m_dialogs.ExecModal(*m_aboutBox);
}
