// Building the main window's controls with their names, captions and start states.

#include "app/CSpinEdit.h"
#include "app/ImageList.h"
#include "app/LogEdit.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/SDIAppForm.h"
#include "app/ToolBar.h"
#include "app/ToolButton.h"
#include "controls/ComComboBox.h"
#include "controls/ComLed.h"
#include "receiver/ReceiverLine.h"
#include "serial/ComPort.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString Name(const char* name) {
    return QString::fromLatin1(name);
}

// The names of one work page's controls; the three pages differ only in these.
struct WorkPageNames {
    const char* sheet;
    const char* caption;
    const char* groupBox;
    const char* log;
    const char* toolBar;
    const char* buttons[6]; // open/close port, choose file, clear log, program, erase, exit
    const char* panel;
};

const WorkPageNames WorkPages[3] = {
    {"TabSheet1",
     "Flash",
     "GroupBox1",
     "RichEdit1",
     "ToolBar1",
     {"ToolButton1", "ToolButton3", "ToolButton20", "ToolButton16", "ToolButton19", "ToolButton4"},
     "Panel1"},
    {"TabSheet2",
     "Firmware",
     "GroupBox2",
     "RichEdit2",
     "ToolBar2",
     {"ToolButton5", "ToolButton7", "ToolButton23", "ToolButton17", "ToolButton24", "ToolButton8"},
     "Panel2"},
    {"TabSheet3",
     "Eeprom",
     "GroupBox3",
     "RichEdit3",
     "ToolBar3",
     {"ToolButton9", "ToolButton11", "ToolButton27", "ToolButton18", "ToolButton28",
      "ToolButton12"},
     "Panel3"},
};

// Picture and tool tip of each tool-bar role, in the order of WorkPageNames::buttons.
struct ButtonRole {
    int image;
    const char* hint;
};
const ButtonRole ButtonRoles[6] = {
    {TImageList::imgPortClosed, "Open or close the serial port"},
    {TImageList::imgOpenFile, "Choose the image file"},
    {TImageList::imgClearLog, "Clear the log"},
    {TImageList::imgProgram, "Write the image into the receiver"},
    {TImageList::imgErase, "Erase FLASH and EEPROM"},
    {TImageList::imgExit, "Save the settings and exit"},
};

// The five lamps of a lamp panel: the line each follows, its colour and its label.
struct LampRole {
    TComLedSignal signal;
    TLedKind kind;
    const char* label;
};
const LampRole LampRoles[5] = {
    {lsConn, lkBlueLight, "Connection"}, {lsCTS, lkRedLight, "CTS"},
    {lsDSR, lkYellowLight, "DSR"},       {lsRing, lkPurpleLight, "Ring"},
    {lsRLSD, lkGreenLight, "RLSD"},
};

QCheckBox* MakeCheckBox(const char* name, const char* caption, bool ticked) {
    auto* box = new QCheckBox(Name(caption));
    box->setObjectName(Name(name));
    box->setChecked(ticked);
    return box;
}

} // namespace

void TSDIAppForm::BuildControls() {
    setObjectName(Name("SDIAppForm"));
    setWindowTitle(Name("Vell Writer 1.0.1"));
    setWindowIcon(TImageList::ApplicationIcon());
    resize(520, 416);

    ImageList1 = new TImageList;
    OpenDialog = new TOpenDialog;
    BuildPort();

    PageControl1 = new TPageControl(this);
    PageControl1->setObjectName(Name("PageControl1"));
    PageControl1->setDocumentMode(false);
    setCentralWidget(PageControl1);
    for (int index = 0; index < 3; ++index)
        PageControl1->addTab(BuildWorkPage(index), Name(WorkPages[index].caption));
    PageControl1->addTab(BuildConfigurationPage(), Name("Configuration"));
    PageControl1->setCurrentIndex(0);

    BuildStatusBar();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(Name("Timer1"));
    Timer1->setInterval(500);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(Name("Timer2"));
    Timer2->setInterval(30000);
}

QWidget* TSDIAppForm::BuildWorkPage(int index) {
    const WorkPageNames& names = WorkPages[index];
    auto* sheet = new QWidget;
    sheet->setObjectName(Name(names.sheet));
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    // The log must be the first child of the page's first group box: the logs are found so.
    auto* box = new QGroupBox(Name("Log window"), sheet);
    box->setObjectName(Name(names.groupBox));
    auto* log = new TLogEdit(box);
    log->setObjectName(Name(names.log));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(6, 4, 6, 6);
    boxLayout->addWidget(log);
    layout->addWidget(box, 1);

    auto* bar = new TToolBar(Name(names.toolBar), sheet);
    bar->setIconSize(QSize(TImageList::Width, TImageList::Height));
    TToolButton* buttons[6];
    for (int role = 0; role < 6; ++role) {
        buttons[role] =
            new TToolButton(Name(names.buttons[role]), *ImageList1, ButtonRoles[role].image, bar);
        buttons[role]->setToolTip(Name(ButtonRoles[role].hint));
    }
    buttons[0]->setCheckable(true);
    buttons[1]->setEnabled(false);
    buttons[3]->setEnabled(false);
    buttons[4]->setEnabled(false);
    QFrame* panel = BuildLampPanel(index);

    bar->addWidget(buttons[0]);
    bar->addSeparator();
    bar->addWidget(buttons[1]);
    bar->addWidget(buttons[2]);
    bar->addSeparator();
    bar->addWidget(buttons[3]);
    bar->addWidget(buttons[4]);
    bar->addSeparator();
    bar->addWidget(buttons[5]);
    bar->addSeparator();
    bar->addWidget(panel);
    layout->addWidget(bar);

    switch (index) {
    case 0:
        TabSheet1 = sheet, GroupBox1 = box, RichEdit1 = log, ToolBar1 = bar, Panel1 = panel;
        ToolButton1 = buttons[0], ToolButton3 = buttons[1], ToolButton20 = buttons[2];
        ToolButton16 = buttons[3], ToolButton19 = buttons[4], ToolButton4 = buttons[5];
        break;
    case 1:
        TabSheet2 = sheet, GroupBox2 = box, RichEdit2 = log, ToolBar2 = bar, Panel2 = panel;
        ToolButton5 = buttons[0], ToolButton7 = buttons[1], ToolButton23 = buttons[2];
        ToolButton17 = buttons[3], ToolButton24 = buttons[4], ToolButton8 = buttons[5];
        break;
    default:
        TabSheet3 = sheet, GroupBox3 = box, RichEdit3 = log, ToolBar3 = bar, Panel3 = panel;
        ToolButton9 = buttons[0], ToolButton11 = buttons[1], ToolButton27 = buttons[2];
        ToolButton18 = buttons[3], ToolButton28 = buttons[4], ToolButton12 = buttons[5];
        break;
    }
    return sheet;
}

// The receiver's port: 19200 baud, 8 data bits, no parity, one stop bit, every line event,
// DTR and RTS handshake without output flow control. The rest keeps the port's defaults.
void TSDIAppForm::BuildPort() {
    Dec = new TComPort(nullptr);
    Dec->SetName("Dec");
    SetReceiverLine(*Dec);
}

// Five lamps, each above its label, all following the receiver's port.
QFrame* TSDIAppForm::BuildLampPanel(int page) {
    auto* panel = new QFrame;
    panel->setObjectName(Name(WorkPages[page].panel));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setFixedSize(189, 38);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(3, 1, 3, 1);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(0);
    QFont small = panel->font();
    small.setPixelSize(9);
    std::array<TComLed*, 5> lamps{};
    for (int column = 0; column < 5; ++column) {
        const LampRole& role = LampRoles[column];
        auto* lamp = new TComLed(nullptr, panel);
        lamp->setObjectName(QStringLiteral("ComLed%1").arg(page * 5 + column + 1));
        lamp->setFixedSize(21, 19);
        lamp->SetLedSignal(role.signal);
        lamp->SetKind(role.kind);
        lamp->SetComPort(Dec);
        grid->addWidget(lamp, 0, column, Qt::AlignHCenter);
        auto* label = new QLabel(Name(role.label), panel);
        label->setFont(small);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        grid->addWidget(label, 1, column, Qt::AlignHCenter);
        grid->setColumnStretch(column, column == 0 ? 0 : 1);
        lamps[size_t(column)] = lamp;
    }
    TComLed** fields[3][5] = {{&ComLed1, &ComLed2, &ComLed3, &ComLed4, &ComLed5},
                              {&ComLed6, &ComLed7, &ComLed8, &ComLed9, &ComLed10},
                              {&ComLed11, &ComLed12, &ComLed13, &ComLed14, &ComLed15}};
    for (int column = 0; column < 5; ++column)
        *fields[page][column] = lamps[size_t(column)];
    return panel;
}

QWidget* TSDIAppForm::BuildConfigurationPage() {
    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(Name("TabSheet4"));
    auto* layout = new QHBoxLayout(TabSheet4);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);

    GroupBox4 = new QGroupBox(Name("Comunication"), TabSheet4);
    GroupBox4->setObjectName(Name("GroupBox4"));
    auto* communication = new QVBoxLayout(GroupBox4);
    auto* portLabel = new QLabel(Name("Serial port"), GroupBox4);
    DecPort = new TComComboBox(GroupBox4, m_services.ListPorts);
    DecPort->setObjectName(Name("DecPort"));
    // Left empty here: loading the settings, the next step of the construction, fills it with
    // the system's ports as they are then and selects the stored one. Reading the ports here as
    // well would cost a second walk of the system's devices for a list nobody sees.
    DecPort->SetComPort(Dec);
    portLabel->setBuddy(DecPort);
    CheckBox1 = MakeCheckBox("CheckBox1", "Show full comunication", false);
    CheckBox2 = MakeCheckBox("CheckBox2", "Show COM status", false);
    CheckBox4 = MakeCheckBox("CheckBox4", "Open port at startup", false);
    communication->addWidget(portLabel);
    communication->addWidget(DecPort);
    communication->addSpacing(6);
    communication->addWidget(CheckBox1);
    communication->addWidget(CheckBox2);
    communication->addWidget(CheckBox4);
    communication->addStretch(1);

    GroupBox5 = new QGroupBox(Name("General"), TabSheet4);
    GroupBox5->setObjectName(Name("GroupBox5"));
    auto* general = new QVBoxLayout(GroupBox5);
    CheckBox3 = MakeCheckBox("CheckBox3", "Confirm data loading", true);
    CheckBox5 = MakeCheckBox("CheckBox5", "Always freeze", true);
    auto* delayLabel = new QLabel(Name("Send command delay"), GroupBox5);
    Spin1 = new TCSpinEdit(GroupBox5);
    Spin1->setObjectName(Name("Spin1"));
    Spin1->SetValue(500);
    Spin1->setSuffix(QString());
    delayLabel->setBuddy(Spin1);
    general->addWidget(CheckBox3);
    general->addWidget(CheckBox5);
    general->addSpacing(6);
    general->addWidget(delayLabel);
    general->addWidget(Spin1);
    general->addStretch(1);

    layout->addWidget(GroupBox4, 1);
    layout->addWidget(GroupBox5, 1);
    return TabSheet4;
}

void TSDIAppForm::BuildStatusBar() {
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(Name("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    const struct {
        const char* text;
        int width;
    } panels[] = {{"Model: Unknown", 150}, {"Operation:", 250}};
    for (const auto& item : panels) {
        auto* panel = new QLabel(Name(item.text), StatusBar);
        panel->setFixedWidth(item.width);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar->addWidget(panel);
        OperationPanel = panel;
    }
    setStatusBar(StatusBar);
}

void TSDIAppForm::ShowWaiting(const QString& call) {
    OperationPanel->setText(call.isEmpty() ? Name("Operation:")
                                           : Name("Operation: waiting for Wine (%1)").arg(call));
    OperationPanel->repaint();
}
