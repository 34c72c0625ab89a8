// The main window as it is laid out: every control built from its geometry and
// caption, the hints, the tab order and the wiring of the controls to the handlers.
// What the handlers and the displays do is in ui/Main.cpp.

#include "ui/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "ui/CodePageValidator.h"
#include "ui/Dialogs.h"
#include "ui/DirectoryEdit.h"
#include "ui/FlatEdit.h"
#include "ui/Fonts.h"
#include "ui/GlowButton.h"
#include "ui/HeaderStrip.h"
#include "ui/HintSettings.h"
#include "ui/LevelProgressBar.h"
#include "ui/LinkLabel.h"


namespace quorvel {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

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

}  // namespace

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

  // Every key of the settings section to the control its row names.
  for (const OptionKey& key : kGeneralKeys) {
    const QString control = QString::fromLatin1(key.control);
    if (key.boolean()) {
      checks_.push_back({key.name, findChild<QCheckBox*>(control)});
    } else {
      texts_.push_back(
          {key.name, findChild<QLineEdit*>(control), key.kind == OptionKind::CodePageText, {}, {}});
    }
  }

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

  // Below the extension filter, where only the hidden controls are.
  UndoButton = AddButton(FilesPanel, "UndoButton", "Vrátit poslední akci", GlowSet::Panel,
                         QRect(189, 150, 172, 25));
  connect(UndoButton, &GlowButton::clicked, this, &TMainForm::UndoButtonClick);
}

void TMainForm::buildResultsPanel() {
  QWidget* panel = ResultsPanel;
  ResultHeader = new HeaderStrip(Text(" Náhledy a výsledky"), panel);
  ResultHeader->setObjectName(QStringLiteral("ResultHeader"));
  ResultHeader->setGeometry(2, 0, 369, 17);
  FilesCountLabel =
      AddLabel(panel, "FilesCountLabel", kFileCountCaption, QRect(8, 24, 150, 13));
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
  LinesReadLabel = AddLabel(panel, "LinesReadLabel", kLinesReadCaption, QRect(8, 280, 96, 13));
  LinesReadValue = AddLabel(panel, "LinesReadValue", "", QRect(112, 280, 0, 13));
  HitsFoundLabel = AddLabel(panel, "HitsFoundLabel", kHitsFoundCaption, QRect(13, 296, 91, 13));
  HitsFoundValue = AddLabel(panel, "HitsFoundValue", "", QRect(112, 296, 0, 13));
  FilesChangedLabel =
      AddLabel(panel, "FilesChangedLabel", kFilesChangedCaption, QRect(208, 296, 93, 13));
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
      {UndoButton,
       "Vrátí soubory, které poslední akce přepsala nebo vytvořila, do stavu před ní. \r\n"
       "Soubory, které od té doby někdo změnil, ponechá beze změny."},
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
      SYLKCheck,           PreviewButton,        UndoButton,           RecalcButton,
      TargetDirEdit,
      OverwriteFilesCheck, OverwriteSourceCheck, CopyCheck,
      IgnoreReadOnlyCheck, NoSafetyCheck,        SaveAsButton,
      ActionButton,        CloseButton,          AboutButton,
  };
  for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TMainForm::setLogo(const QImage& logo) { LogoImage->setPixmap(QPixmap::fromImage(logo)); }

}  // namespace quorvel
