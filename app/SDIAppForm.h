#pragma once
// The main window: three work pages (Flash, Firmware, Eeprom), each with its log, tool bar
// and lamps, and a Configuration page with the options. It owns every control on it, the
// message tables and the state shared by the receiver dialogue.
//
// Everything here runs on the UI thread. The controls keep the names the handlers use to tell
// them apart (the program buttons are told apart by object name), so they are public fields.

#include "ComLed.h"
#include "ComSelect.h"
#include "ExternalWindows.h"
#include "ImageFileCheck.h"
#include "LogColors.h"
#include "MessageTables.h"
#include "ReceiverState.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QStatusBar;
class QTimer;
class TAboutBox;
class TComComboBox;
class TComPort;
class TCSpinEdit;
class TDialogs;
class TPageControl;
class TSettingsStore;
class TImageList;
class TLogEdit;
class TOpenDialog;
class TToolBar;
class TToolButton;

// What the window reaches outside itself: the modal boxes, the settings store, the transfer
// program's window and the list of serial ports. The program passes the real ones; tests
// their fakes.
struct TServices {
    TDialogs& Dialogs;
    TSettingsStore& Settings;
    TExternalWindows& Windows;
    TPortLister ListPorts = EnumComPorts;
};

class TSDIAppForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TSDIAppForm(TServices& services, QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    // --- Controls -------------------------------------------------------------------------
    TPageControl* PageControl1;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4;
    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3;
    TLogEdit *RichEdit1, *RichEdit2, *RichEdit3;
    TToolBar *ToolBar1, *ToolBar2, *ToolBar3;
    // Flash page: open/close port, choose file, clear log, program, erase, exit.
    TToolButton *ToolButton1, *ToolButton3, *ToolButton20, *ToolButton16, *ToolButton19,
        *ToolButton4;
    // Firmware page, same roles.
    TToolButton *ToolButton5, *ToolButton7, *ToolButton23, *ToolButton17, *ToolButton24,
        *ToolButton8;
    // Eeprom page, same roles.
    TToolButton *ToolButton9, *ToolButton11, *ToolButton27, *ToolButton18, *ToolButton28,
        *ToolButton12;
    QFrame *Panel1, *Panel2, *Panel3; // lamp panels
    // Lamps, five a page: connection, CTS, DSR, Ring, RLSD.
    TComLed *ComLed1, *ComLed2, *ComLed3, *ComLed4, *ComLed5;
    TComLed *ComLed6, *ComLed7, *ComLed8, *ComLed9, *ComLed10;
    TComLed *ComLed11, *ComLed12, *ComLed13, *ComLed14, *ComLed15;

    // Configuration page.
    QGroupBox *GroupBox4, *GroupBox5;
    TComComboBox* DecPort;
    QCheckBox* CheckBox1; // "Show full comunication"
    QCheckBox* CheckBox2; // "Show COM status"
    QCheckBox* CheckBox3; // "Confirm data loading"
    QCheckBox* CheckBox4; // "Open port at startup"
    QCheckBox* CheckBox5; // "Always freeze"
    TCSpinEdit* Spin1;    // "Send command delay", milliseconds

    QStatusBar* StatusBar;
    QTimer* Timer1; // 500 ms, run text watch
    QTimer* Timer2; // 30 s, run watchdog
    TOpenDialog* OpenDialog;
    TImageList* ImageList1;
    TComPort* Dec; // the receiver's serial port

    // --- State shared by the receiver dialogue ----------------------------------------------
    QString AppDir; // folder of the program's own file, with a trailing separator
    int32_t SelectedKind = ikNone;
    TImageStamp ChosenImage; // the chosen image file as it was when chosen and confirmed
    int32_t ReceiverState = rsIdle;
    MessageTable ReceiveTable;
    MessageTable CommandTable;
    Win::HWND ExternalWindow = 0;          // the transfer program's window
    TToolBar* RunToolBar = nullptr;   // disabled while its run is under way
    std::string RunText;              // the receiver's text collected during a run
    // Whether the run's text has shown the memory allocation, the download's start and a
    // failed write. The watchdog and the end of the run go by these, not by RunText alone,
    // which holds only the last log line while the full communication is not shown.
    bool RunSawAllocation = false;
    bool RunSawDownload = false;
    bool RunSawFailure = false; // "Failed to write", on whatever line it came
    // Bytes of the run's text the text watch has searched for the receiver's words since the
    // window was built; each chunk should cost its own length and a short tail, however long
    // the text has grown.
    size_t RunTextSearched = 0;

    // The three buttons of one role, in page order (Flash, Firmware, Eeprom).
    std::array<TToolButton*, 3> PortButtons() const;
    std::array<TToolButton*, 3> ChooseButtons() const;
    // Program buttons then erase buttons.
    std::array<TToolButton*, 6> RunButtons() const;
    std::array<TLogEdit*, 3> Logs() const;

    // --- Logs ---------------------------------------------------------------------------------
    // The log for lines about the receiver and the run: the chosen image's page, else the
    // active page's.
    TLogEdit* KindLog() const;
    // The active page's log; the Configuration page has none, so its lines go to the Flash log.
    TLogEdit* ActivePageLog() const;
    // Bytes for the log, in full with their hex values when "Show full comunication" is ticked.
    std::string RenderBytes(const char* bytes, int n) const;

    void SetAboutBox(TAboutBox* aboutBox) { m_aboutBox = aboutBox; }

    // --- Handlers: the shell ------------------------------------------------------------------
    void FileExit1Execute(QObject* Sender);
    void FormClose(QObject* Sender);
    void CheckBox2Click(QObject* Sender);
    void ToolButton20Click(QObject* Sender);
    void HelpAbout1Execute(QObject* Sender);
    void FileOpen1Execute(QObject* Sender);
    // Just before a run: whether the chosen image is still the file chosen and confirmed. When
    // it is not, the log says why and the receiver stays frozen. True for an erase.
    bool ImageStillAsChosen(TLogEdit* log);
    void LoadSettings();
    void SaveSettings();

    // --- Handlers: the receiver dialogue --------------------------------------------------------
    void DecRxChar(TObject* Sender, int32_t Count);
    void DecAfterOpen(TObject* Sender);
    void DecAfterClose(TObject* Sender);
    void DecPortChange(TObject* Sender);
    void ComLed3Change(TObject* Sender, TLedState AState);
    void ComLed5Change(TObject* Sender, TLedState AState);
    void ToolButton1Click(QObject* Sender);
    // Opens the port; when it will not open, adds a line saying why to the active page's log.
    void OpenPort();
    void PageControl1Changing(QObject* Sender, bool& AllowChange);
    void SendCommand(int32_t index);
    void CheckFrozen();
    void EnterFrozen();
    void EnterIdle();

    // --- Handlers: the programming run ----------------------------------------------------------
    void ToolButton16Click(QObject* Sender);
    void ToolButton19Click(QObject* Sender);
    void StartRun();
    // An unrecognised chunk during a run: progress, watchdog and completion.
    void TextWatch(TLogEdit* log, const char* chunk, int32_t count);
    void Timer1Timer(QObject* Sender);
    void Timer2Timer(QObject* Sender);
    // Ends a run that no watchdog watches yet when the receiver leaves its loader.
    void EndUnwatchedRun();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildWorkPage(int index);
    QWidget* BuildConfigurationPage();
    void BuildStatusBar();
    void BuildPort();
    QFrame* BuildLampPanel(int page);
    void BindHandlers();
    void CloseExternalWindow();
    // A run whose transfer program is not there to deliver: ends before its command is sent.
    void EndUnsentRun(TLogEdit* log, const QString& program, const QString& why);
    void SetPortButtons(bool down);
    std::string EntryLine(const MessageEntry& entry) const;

    TServices& m_services;
    TDialogs& m_dialogs;
    TAboutBox* m_aboutBox = nullptr;
    bool m_outerSizeSet = false;
    bool m_closeRefused = false; // a close was refused because the settings could not be saved
    // The stored port's name when the port list lacked it at start-up: not opened, and kept.
    QString m_missingPortName;
    // Where the log's last line starts in RunText, as the text watch left it.
    size_t m_runLineStart = 0;
};
