#include "ui/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "engine/ReplaceRun.h"
#include "files/FileList.h"
#include "files/PathText.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "ui/About.h"
#include "ui/CodePageValidator.h"
#include "ui/Dialogs.h"
#include "ui/DirectoryEdit.h"
#include "ui/FlatEdit.h"
#include "ui/Fonts.h"
#include "ui/GlowButton.h"
#include "ui/PreviewForm.h"
#include "ui/HeaderStrip.h"
#include "ui/HintSettings.h"
#include "ui/LevelProgressBar.h"
#include "ui/LinkLabel.h"
#include "ui/PanelInfo.h"

namespace quorvel {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Search and replacement texts are bytes of the active code page; every other text
// of the window is file-system text, which is UTF-8.
QString ShownText(const std::string& bytes, bool codePage) {
  return QString::fromStdString(codePage ? platform::ActiveCodePage().toUtf8(bytes) : bytes);
}

std::string TypedBytes(const QString& text, bool codePage) {
  std::string utf8 = text.toStdString();
  return codePage ? platform::ActiveCodePage().fromUtf8(utf8) : utf8;
}

QLabel* AddLabel(QWidget* parent, const char* name, const char* text, const QRect& geometry) {
  auto* label = new QLabel(Text(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometry);
  return label;
}

QCheckBox* AddCheck(QWidget* parent, const char* name, const char* text, const QRect& geometry) {
  auto* box = new QCheckBox(Text(text), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  return box;
}

template <typename Edit, typename... Args>
Edit* AddEdit(QWidget* parent, const char* name, const QRect& geometry, Args&&... args) {
  auto* edit = new Edit(std::forward<Args>(args)..., parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(geometry);
  return edit;
}

GlowButton* AddButton(QWidget* parent, const char* name, const char* caption, GlowSet set,
                      const QRect& geometry) {
  auto* button = new GlowButton(Text(caption), set, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  return button;
}

QFrame* AddPanel(QWidget* parent, const char* name, const QRect& geometry) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  panel->setGeometry(geometry);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  panel->setPalette(palette);
  panel->setAutoFillBackground(true);
  return panel;
}

// A label whose width follows its text, at a fixed left edge.
void SetSizedCaption(QLabel* label, const QString& caption) {
  label->setText(caption);
  label->resize(QFontMetrics(label->font()).horizontalAdvance(caption), label->height());
}

}  // namespace

QUrl MakerPageUrl() {
  return QUrl(QStringLiteral("http://" QUORVEL_PING_HOST "/index.velnor.htm"));
}

TMainForm::PanelNotice::PanelNotice() = default;
TMainForm::PanelNotice::~PanelNotice() = default;

void TMainForm::PanelNotice::begin(const std::string& text) {
  panels_.push_back(OpenInfoPanel(QString::fromStdString(text)));
}

void TMainForm::PanelNotice::end() {
  if (panels_.empty()) return;
  CloseInfoPanel(std::move(panels_.back()));
  panels_.pop_back();
}

TMainForm::TMainForm(Dialogs* dialogs)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      ownDialogs_(dialogs ? nullptr : std::make_unique<QtDialogs>(this)),
      dialogs_(dialogs ? *dialogs : *ownDialogs_) {
  // The hint settings come first, before any control with a hint exists.
  ApplyHintSettings();

  setObjectName(QStringLiteral("TMainForm"));
  setWindowTitle(Text(kMainCaption));
  setFixedSize(766, 390);
  move(238, 149);
  setFont(WindowFont(Typeface::Tahoma, 11));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x79, 0x76, 0x71));
  setPalette(palette);
  setAutoFillBackground(true);

  LogoImage = new LinkLabel(this);
  LogoImage->setObjectName(QStringLiteral("LogoImage"));
  LogoImage->setGeometry(2, 0, 377, 57);
  LogoImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  connect(LogoImage, &LinkLabel::clicked, this, &TMainForm::LogoImageClick);

  NameLabel = AddLabel(this, "NameLabel", "Hromadné nahrazování textů", QRect(3, 64, 374, 27));
  NameLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  NameLabel->setFont(WindowFont(Typeface::TrebuchetMS, 21, true));
  QPalette yellow = NameLabel->palette();
  yellow.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0x00));
  NameLabel->setPalette(yellow);

  TextPanel = AddPanel(this, "TextPanel", QRect(5, 96, 369, 97));
  FilesPanel = AddPanel(this, "FilesPanel", QRect(5, 200, 369, 185));
  ResultsPanel = AddPanel(this, "ResultsPanel", QRect(389, 0, 372, 353));
  buildTextPanel();
  buildFilesPanel();
  buildResultsPanel();

  CloseButton = AddButton(this, "CloseButton", "Zavřít", GlowSet::Window, QRect(624, 360, 137, 25));
  AboutButton =
      AddButton(this, "AboutButton", "O programu", GlowSet::Window, QRect(389, 360, 153, 25));
  connect(CloseButton, &GlowButton::clicked, this, &TMainForm::CloseButtonClick);
  connect(AboutButton, &GlowButton::clicked, this, &TMainForm::AboutButtonClick);

  texts_ = {
      {"Search", SearchEdit, true, {}, {}},        {"Replace", ReplaceEdit, true, {}, {}},
      {"WorkDir", WorkDirEdit, false, {}, {}},     {"Extensions", ExtensionsEdit, false, {}, {}},
      {"Column", ColumnEdit, false, {}, {}},       {"Delimiter", DelimiterEdit, false, {}, {}},
      {"TargetDir", TargetDirEdit, false, {}, {}},
  };
  checks_ = {
      {"RemoveMode", RemoveCheck},
      {"Subdirs", SubdirectoriesCheck},
      {"SYLK", SYLKCheck},
      {"OverFiles", OverwriteFilesCheck},
      {"OverSource", OverwriteSourceCheck},
      {"CopyUnchanged", CopyCheck},
      {"IgnoreReadOnly", IgnoreReadOnlyCheck},
      {"NoSafety", NoSafetyCheck},
      {"CaseSensitive", CaseCheck},
  };

  for (FlatEdit* edit : {SearchEdit, ReplaceEdit}) edit->setValidator(new CodePageValidator(edit));
  setHints();
  chainTabOrder();
  SearchEdit->setFocus();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildTextPanel() {
  TextHeader = new HeaderStrip(Text(" Text a akce"), TextPanel);
  TextHeader->setObjectName(QStringLiteral("TextHeader"));
  TextHeader->setGeometry(-1, 0, 369, 17);
  SearchLabel = AddLabel(TextPanel, "SearchLabel", "Hledaný text :", QRect(35, 27, 69, 13));
  ReplaceLabel = AddLabel(TextPanel, "ReplaceLabel", "Nahradit textem  :", QRect(16, 47, 88, 13));
  SearchEdit =
      AddEdit<FlatEdit>(TextPanel, "SearchEdit", QRect(112, 24, 249, 18), EditBorder::Soft);
  ReplaceEdit =
      AddEdit<FlatEdit>(TextPanel, "ReplaceEdit", QRect(112, 44, 249, 18), EditBorder::Soft);
  RemoveCheck = AddCheck(TextPanel, "RemoveCheck", "odstranit text", QRect(112, 64, 97, 17));
  CaseCheck = AddCheck(TextPanel, "CaseCheck", "rozlišovat malá/velká", QRect(232, 64, 129, 17));
}

void TMainForm::buildFilesPanel() {
  FilesHeader = new HeaderStrip(Text(" Soubory ke zpracování"), FilesPanel);
  FilesHeader->setObjectName(QStringLiteral("FilesHeader"));
  FilesHeader->setGeometry(-1, 0, 369, 17);
  WorkDirLabel = AddLabel(FilesPanel, "WorkDirLabel", "Zpracovat adresář :", QRect(8, 24, 96, 13));
  WorkDirEdit = AddEdit<DirectoryEdit>(FilesPanel, "WorkDirEdit", QRect(8, 40, 353, 18), dialogs_);
  SubdirectoriesCheck =
      AddCheck(FilesPanel, "SubdirectoriesCheck", "včetně podadresářů", QRect(8, 64, 137, 17));
  ExtensionsLabel =
      AddLabel(FilesPanel, "ExtensionsLabel", "Jen soubory s příponou :", QRect(8, 91, 119, 13));
  ExtensionsEdit =
      AddEdit<FlatEdit>(FilesPanel, "ExtensionsEdit", QRect(136, 88, 225, 19), EditBorder::Plain);

  // A CSV mode the program does not have: never shown, the three value controls only
  // carry their settings keys through loading and saving.
  CSVLabel = AddLabel(FilesPanel, "CSVLabel",
                      "Pokud se jedná o soubory typu CSV :", QRect(8, 116, 178, 13));
  QFont underlined = CSVLabel->font();
  underlined.setUnderline(true);
  CSVLabel->setFont(underlined);
  ColumnLabel = AddLabel(FilesPanel, "ColumnLabel", "Číslo sloupce :", QRect(16, 138, 68, 13));
  ColumnEdit =
      AddEdit<FlatEdit>(FilesPanel, "ColumnEdit", QRect(88, 136, 57, 19), EditBorder::Plain);
  DelimiterLabel = AddLabel(FilesPanel, "DelimiterLabel", "Oddělovač :", QRect(26, 158, 58, 13));
  DelimiterEdit =
      AddEdit<FlatEdit>(FilesPanel, "DelimiterEdit", QRect(88, 156, 57, 19), EditBorder::Plain);
  SYLKCheck = AddCheck(FilesPanel, "SYLKCheck", "text v uvozovkách", QRect(160, 156, 113, 17));
  for (QWidget* hidden : std::initializer_list<QWidget*>{
           CSVLabel, ColumnLabel, ColumnEdit, DelimiterLabel, DelimiterEdit, SYLKCheck}) {
    hidden->hide();
  }
  PreviewButton = AddButton(FilesPanel, "PreviewButton", "Náhled změn...", GlowSet::Panel,
                            QRect(8, 150, 172, 25));
  connect(PreviewButton, &GlowButton::clicked, this, &TMainForm::PreviewButtonClick);
}

void TMainForm::buildResultsPanel() {
  QWidget* panel = ResultsPanel;
  ResultHeader = new HeaderStrip(Text(" Náhledy a výsledky"), panel);
  ResultHeader->setObjectName(QStringLiteral("ResultHeader"));
  ResultHeader->setGeometry(2, 0, 369, 17);
  FilesCountLabel =
      AddLabel(panel, "FilesCountLabel", "Bude se zpracovávat souborů :", QRect(8, 24, 150, 13));
  FilesCountValue = new LinkLabel(panel);
  FilesCountValue->setObjectName(QStringLiteral("FilesCountValue"));
  FilesCountValue->setGeometry(168, 24, 122, 13);
  FilesCountValue->setTextFormat(Qt::PlainText);
  FilesCountValue->setCaption(Text(kRecountPrompt));
  RecalcButton = AddButton(panel, "RecalcButton", "??", GlowSet::Panel, QRect(333, 24, 28, 25));
  TargetDirLabel = AddLabel(panel, "TargetDirLabel",
                            "Upravené soubory ukládat do adresáře :", QRect(8, 56, 195, 13));
  TargetDirEdit = AddEdit<DirectoryEdit>(panel, "TargetDirEdit", QRect(8, 72, 353, 18), dialogs_);
  OverwriteFilesCheck = AddCheck(panel, "OverwriteFilesCheck", "přepisovat existující soubory",
                                 QRect(8, 96, 217, 17));
  OverwriteSourceCheck = AddCheck(panel, "OverwriteSourceCheck",
                                  "zapisovat přímo do zdrojového adresáře", QRect(8, 112, 217, 17));
  CopyCheck = AddCheck(panel, "CopyCheck", "kopírovat nezměněné soubory", QRect(8, 128, 217, 17));
  IgnoreReadOnlyCheck = AddCheck(panel, "IgnoreReadOnlyCheck",
                                 "ignorovat ReadOnly příznak u souborů", QRect(8, 152, 217, 17));
  NoSafetyCheck =
      AddCheck(panel, "NoSafetyCheck", "umožnit přepis souborů, které nevypadají jako textové",
               QRect(8, 168, 353, 17));
  SaveAsButton =
      AddButton(panel, "SaveAsButton", "Uložit konfiguraci pro spouštění příkazovou řádkou",
                GlowSet::Panel, QRect(13, 192, 340, 25));
  ProgressLabel = AddLabel(panel, "ProgressLabel", "Postup zpracování :", QRect(8, 232, 95, 13));
  ProgressFileValue = AddLabel(panel, "ProgressFileValue", "", QRect(112, 232, 249, 13));
  // Right-aligned and clipped at the left edge: a long path keeps its file name.
  ProgressFileValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ResultProgressBar = new LevelProgressBar(panel);
  ResultProgressBar->setObjectName(QStringLiteral("ResultProgressBar"));
  ResultProgressBar->setGeometry(8, 248, 353, 18);
  LinesReadLabel = AddLabel(panel, "LinesReadLabel", "Řádek zpracováno :", QRect(8, 280, 96, 13));
  LinesReadValue = AddLabel(panel, "LinesReadValue", "", QRect(112, 280, 0, 13));
  HitsFoundLabel = AddLabel(panel, "HitsFoundLabel", "Výskytů nalezeno :", QRect(13, 296, 91, 13));
  HitsFoundValue = AddLabel(panel, "HitsFoundValue", "", QRect(112, 296, 0, 13));
  FilesChangedLabel =
      AddLabel(panel, "FilesChangedLabel", "Souborů změněno :", QRect(208, 296, 93, 13));
  FilesChangedValue = AddLabel(panel, "FilesChangedValue", "", QRect(312, 296, 53, 13));
  FilesChangedValue->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ActionButton =
      AddButton(panel, "ActionButton", "AKCE !", GlowSet::Panel, QRect(117, 320, 137, 25));

  connect(FilesCountValue, &LinkLabel::clicked, this, &TMainForm::FilesCountValueClick);
  connect(RecalcButton, &GlowButton::clicked, this, &TMainForm::FilesCountValueClick);
  // toggled follows every change of the state, by the user or by the loading of the
  // options, and no other.
  connect(OverwriteSourceCheck, &QCheckBox::toggled, this, &TMainForm::OverwriteSourceCheckClick);
  connect(SaveAsButton, &GlowButton::clicked, this, &TMainForm::SaveAsButtonClick);
  connect(ActionButton, &GlowButton::clicked, this, &TMainForm::ActionButtonClick);
}

void TMainForm::setHints() {
  const std::pair<QWidget*, const char*> hints[] = {
      {SearchEdit, "Text, který má být v souborech hromadně nahrazen, nebo vymazan."},
      {ReplaceEdit,
       "Text, kterým má být nahrazen hledaný text ve všech svých výskytech.\r\nZadávejte "
       "přesně. V průběhu nahrazování již nebudete mít příležitost \r\noperaci zastavit."},
      {RemoveCheck,
       "Zaškrtněte, pokud chcete nalezené fragmenty textu ze souboru \r\nbez náhrady vymazat. "
       "Velmi užitečné například při vymazávání \r\nnežádoucích, virem vložených řádků z HTML "
       "souborů,"},
      {WorkDirEdit,
       "Pracovní adresář. Budou zpracovány všechny \r\nodpovídající soubory z tohoto adresáře."},
      {SubdirectoriesCheck, "Procházet adresáře včetně všech podadresářů."},
      {ExtensionsEdit,
       "Určuje filtr na soubory podle přípony. Jako příponu udávejte jen znaky za tečkou,\r\n"
       "(tzn. \"txt\" místo \"*.txt\". Jednotlivé přípony můžete oddělit středníkem.\r\nPokud "
       "necháte prázdné, zpracují se všechny nalezené soubory."},
      {FilesCountValue,
       "Po kliknutí se přepočítá počet souborů, který bude upravován.\r\nSlouží hlavně k tomu, "
       "aby bylo předem vidět,  kolik práce bude."},
      {PreviewButton,
       "Ukáže, které soubory by akce při současném nastavení změnila a jak, \r\naniž by "
       "cokoli zapsala."},
      {RecalcButton, "Přepočte počet souborů, které budou při současném nastavení zpracovávány."},
      {TargetDirEdit,
       "Adresář, kam se mají ukládat upravené verze souborů ze \r\nzdrojového adresáře. "
       "Ukládají se sem jen ty soubory, které byly\r\nupraveny (resp. ty s odpovídající "
       "příponou, je-li určena)."},
      {OverwriteFilesCheck,
       "Pokud bude zaškrtnuto, budou se v cílovém adresáři \r\npřepisovat existující soubory. "
       "Pokud ne, program se po nalezení\r\nexistujícího cílového souboru zastaví."},
      {OverwriteSourceCheck,
       "Pokud si jste svými požadavky plně jisti, můžete přepisovat přímo \r\nzdrojový adresář. "
       "V takovém případě není třeba určovat cílový \r\nadresář (ten bude ignorován)."},
      {CopyCheck,
       "Pokud zaškrtnete toto pole, do cílového adresáře se nakopírují i soubory, \r\nve "
       "kterých nedošlo k žádné změně. Standardně se takové soubory \r\nnechávají být a "
       "nekopírují se."},
      {IgnoreReadOnlyCheck,
       "Pokud zašrtnete toto pole, budou se přepisovat i soubory s příznakem \r\nReadOnly "
       "(příznak zůstane zachován). Soubory s příznaky \r\nSystémový a Skrytý se vždy "
       "ignorují."},
      {NoSafetyCheck,
       "Pokud zaškrtnete toto pole, program se bude snažit zpracovat všechny \r\nvybrané "
       "soubory, i když se mu to vždy nemusí povést - zejména u \r\nbinárních souborů. "
       "Zaškrtněte, jen když jste si jisti tím co chcete - \r\njinak může dojít ke ztrátě dat."},
      {SaveAsButton,
       "Umožní uložení konfigurace do jiného INI souboru. \r\nPokud spustíte program z "
       "příkazové řádky se jménem INI \r\nsouboru v parametru, program se spustí, autoamticky "
       "stiskne Akce \r\ntlačítko a ukončí se."},
      {ActionButton,
       "Spustí akci. Akce nejde v jejím průběhu regulérně zastavit, \r\ntak s tím počítejte. "
       "Žádné potvrzovací dotazy nebudou vznášeny."},
  };
  for (const auto& [widget, hint] : hints) widget->setToolTip(Text(hint));
}

void TMainForm::chainTabOrder() {
  // The panels in turn, each in its own order, then the two window buttons; Qt passes
  // over the hidden CSV controls by itself.
  QWidget* const order[] = {
      SearchEdit,          ReplaceEdit,          RemoveCheck,
      CaseCheck,           WorkDirEdit,          SubdirectoriesCheck,
      ExtensionsEdit,      ColumnEdit,           DelimiterEdit,
      SYLKCheck,           PreviewButton,        RecalcButton,         TargetDirEdit,
      OverwriteFilesCheck, OverwriteSourceCheck, CopyCheck,
      IgnoreReadOnlyCheck, NoSafetyCheck,        SaveAsButton,
      ActionButton,        CloseButton,          AboutButton,
  };
  for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TMainForm::setLogo(const QImage& logo) { LogoImage->setPixmap(QPixmap::fromImage(logo)); }

template <typename Action>
void TMainForm::guarded(Action&& action) {
  // Qt lets no exception pass through its event loop; this is where a failure of a
  // handler ends and the program goes on.
  try {
    action();
  } catch (const std::exception& error) {
    showError(error);
  }
}

void TMainForm::showError(const std::exception& error) {
  flushRunDisplays();
  dialogs_.showMessage(Text(kApplicationTitle), QString::fromStdString(MessageForDisplay(error)),
                       MessageIcon::Error);
}

void TMainForm::ActionButtonClick() {
  if (busy_) return;
  guarded([this] {
    ReplaceRun(options_, *this);
    flushRunDisplays();
  });
}

void TMainForm::PreviewButtonClick() {
  if (busy_) return;
  guarded([this] {
    TPreviewForm preview(options_, dialogs_, this);
    preview.run();
  });
}

void TMainForm::FilesCountValueClick() {
  guarded([this] {
    options_.setWorkDirText(NormalizeDirectoryText(options_.workDirText()));
    FileList list;
    const int32_t count = BuildFileList(list, options_.workDirText(), optionText("Extensions"),
                                        optionChecked("Subdirs"), notice_);
    FilesCountValue->setCaption(QString::fromStdString(IntToDecimal(count)));
  });
}

void TMainForm::OverwriteSourceCheckClick(bool checked) {
  guarded([this, checked] { OverwriteSourceToggled(*this, checked); });
}

void TMainForm::SaveAsButtonClick() {
  const std::optional<QString> path = dialogs_.askSavePath(QStringLiteral("ini"));
  if (!path) return;
  guarded([this, &path] { SaveOptionsAs(*this, path->toStdString()); });
}

void TMainForm::LogoImageClick() {
  // Nothing is reported when no handler can open the address.
  QDesktopServices::openUrl(MakerPageUrl());
}

void TMainForm::AboutButtonClick() {
  // The dialog reports a refused write of its position once it has closed.
  guarded([this] { ShowAboutDialog(settings_, this); });
}

void TMainForm::CloseButtonClick() { close(); }

const TMainForm::TextOption* TMainForm::textOption(std::string_view key) const {
  for (const TextOption& option : texts_) {
    if (key == option.key) return &option;
  }
  return nullptr;
}

QCheckBox* TMainForm::checkOption(std::string_view key) const {
  for (const CheckOption& option : checks_) {
    if (key == option.key) return option.box;
  }
  return nullptr;
}

std::string TMainForm::optionText(std::string_view key) const {
  const TextOption* option = textOption(key);
  if (!option) return {};
  const QString text = option->edit->text();
  if (text == option->shown) return option->bytes;
  return TypedBytes(text, option->codePage);
}

void TMainForm::setOptionText(std::string_view key, const std::string& text) {
  auto* option = const_cast<TextOption*>(textOption(key));
  if (!option) return;
  option->edit->setText(ShownText(text, option->codePage));
  option->bytes = text;
  option->shown = option->edit->text();
}

bool TMainForm::optionChecked(std::string_view key) const {
  QCheckBox* box = checkOption(key);
  return box && box->isChecked();
}

void TMainForm::setOptionChecked(std::string_view key, bool checked) {
  if (QCheckBox* box = checkOption(key)) box->setChecked(checked);
}

void TMainForm::resetRunDisplays() {
  ResultProgressBar->setPosition(0);
  ResultProgressBar->setMaximum(100);
  currentFileDirty_ = false;
  std::fill(std::begin(counterDirty_), std::end(counterDirty_), false);
  ProgressFileValue->clear();
  SetSizedCaption(LinesReadValue, QString());
  SetSizedCaption(HitsFoundValue, QString());
  FilesChangedValue->clear();
}

void TMainForm::showFileCount(int32_t count) {
  FilesCountValue->setCaption(QString::fromStdString(IntToDecimal(count)));
}

void TMainForm::showCurrentFile(const std::string& path) {
  currentFile_ = path;
  currentFileDirty_ = true;
}

void TMainForm::showCounter(RunCounter counter, int32_t value) {
  const auto index = static_cast<size_t>(counter);
  counters_[index] = value;
  counterDirty_[index] = true;
}

void TMainForm::setProgressPosition(int32_t position) {
  ResultProgressBar->setPosition(position);
  // A file has ended: the labels show exactly where the run stands.
  flushRunDisplays();
}

void TMainForm::setProgressMaximum(int32_t maximum) { ResultProgressBar->setMaximum(maximum); }

void TMainForm::flushRunDisplays() {
  if (currentFileDirty_) {
    ProgressFileValue->setText(QString::fromStdString(currentFile_));
    currentFileDirty_ = false;
  }
  QLabel* const labels[] = {LinesReadValue, HitsFoundValue, FilesChangedValue};
  for (size_t i = 0; i < std::size(labels); ++i) {
    if (!counterDirty_[i]) continue;
    const QString caption = QString::fromStdString(IntToDecimal(counters_[i]));
    if (labels[i] == FilesChangedValue) {
      FilesChangedValue->setText(caption);
    } else {
      SetSizedCaption(labels[i], caption);
    }
    counterDirty_[i] = false;
  }
}

void TMainForm::pumpEvents() {
  // Called after every line and hit: a full round of events each time would cost more
  // than the work, so the window gets one every few milliseconds, well within what a
  // user notices. Even reading the clock costs more than a short line, so it is read
  // only every few calls; that many lines take far less than the interval.
  if (pumpClock_.isValid()) {
    if (++pumpCalls_ < kPumpCallsPerClockRead) return;
    pumpCalls_ = 0;
    if (pumpClock_.elapsed() < kPumpIntervalMs) return;
  }
  flushRunDisplays();
  QCoreApplication::processEvents();
  pumpClock_.start();
}

void TMainForm::showInformation(const std::string& text) {
  flushRunDisplays();
  dialogs_.showMessage(Text(kInformationCaption), QString::fromStdString(text),
                       MessageIcon::Information);
}

void TMainForm::showWarning(const std::string& text) {
  dialogs_.showMessage(Text(kWarningCaption), QString::fromStdString(text), MessageIcon::Warning);
}

std::string TMainForm::askLine(const std::string& title, const std::string& prompt) {
  const std::optional<QString> answer = dialogs_.askLine(
      QString::fromStdString(title), QString::fromStdString(prompt), kAnswerMaxLength);
  return answer ? answer->toStdString() : std::string();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  SearchEdit->setFocus();
  if (showHandler_) guarded(showHandler_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  if (closeHandler_) {
    try {
      closeHandler_();
    } catch (const std::exception& error) {
      showError(error);
      event->ignore();
      return;
    }
  }
  event->accept();
}

}  // namespace quorvel
