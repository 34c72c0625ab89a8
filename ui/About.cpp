#include "ui/About.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>

#include "ui/Fonts.h"
#include "ui/GlowButton.h"
#include "ui/LicenceText.h"
#include "ui/LinkLabel.h"

namespace quorvel {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr const char* kInfoText =
    "Program slouží k hromadnému nahrazování fragmentů textů v čistých textových souborech. "
    "Není určen k operacím nad binarními soubory typu DOC .";

// Three paragraphs: what the program does not do, the one request it makes at start,
// and how users can thank its authors.
constexpr const char* kNetworkNote =
    "Program neobsahuje žádné špionážní ani reklamní funkce. Na webové stránky výrobce "
    "vás zavede jedině kliknutí na logo firmy.\n"
    "Při spuštění se program pokusí zanechat záznam v protokolu webového serveru firmy "
    "tím, že otevře malinký soubor. Kromě vaší IP adresy přitom neodesílá žádná data. "
    "(Autory prostě těší vědomí, že se jejich prográmek někde používá.)\n"
    "Pokud nás chcete odměnit, podívejte se na služby, které firma Quorvel nabízí, nebo "
    "nám napište děkovný e-mail :-)";

TAboutForm* gOpenDialog = nullptr;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

void SetTextColour(QWidget* widget, QRgb rgb) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, QColor(rgb));
  widget->setPalette(palette);
}

}  // namespace

QString VersionLine() { return Text(kVersionPrefix) + QStringLiteral(QUORVEL_VERSION); }

QString LicenceText() {
  QString text = Text(kLicenceFileText);
  // The file ends its last line; the field has no empty line after it.
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

QString NetworkNote() { return Text(kNetworkNote); }

QUrl ContactMailUrl() { return QUrl(QStringLiteral("mailto:") + Text(kContactAddress)); }

TAboutForm::TAboutForm(SettingsFile settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settings_(std::move(settings)) {
  gOpenDialog = this;

  setObjectName(QStringLiteral("TAboutForm"));
  setWindowTitle(Text(kAboutCaption));
  setFixedSize(516, 586);
  setFont(WindowFont(Typeface::Tahoma, 11));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  setPalette(palette);
  setAutoFillBackground(true);

  TopLabel = AddLabel(this, "TopLabel", Text("Program pro hromadné nahrazování textů"));
  TopLabel->setGeometry(8, 8, 497, 23);
  TopLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  TopLabel->setFont(WindowFont(Typeface::Tahoma, 19, true));
  SetTextColour(TopLabel, 0x008000);

  VersionValue = AddLabel(this, "VersionValue", VersionLine());
  VersionValue->setGeometry(0, 40, 513, 13);
  VersionValue->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  VersionValue->setFont(WindowFont(Typeface::Tahoma, 11, true));

  InfoLabel = AddLabel(this, "InfoLabel", Text(kInfoText));
  InfoLabel->setGeometry(26, 88, 464, 26);
  InfoLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  InfoLabel->setWordWrap(true);
  SetTextColour(InfoLabel, 0x000080);

  LicenceMemo = new QTextEdit(this);
  LicenceMemo->setObjectName(QStringLiteral("LicenceMemo"));
  LicenceMemo->setGeometry(8, 128, 497, 305);
  LicenceMemo->setReadOnly(true);
  LicenceMemo->setAcceptRichText(false);
  LicenceMemo->setTabChangesFocus(true);
  LicenceMemo->setFocusPolicy(Qt::StrongFocus);
  // Read-only, but the keys still move through the text, as in any text field.
  LicenceMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  LicenceMemo->setLineWrapMode(QTextEdit::WidgetWidth);
  LicenceMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  LicenceMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  LicenceMemo->setPlainText(LicenceText());
  QTextCursor all(LicenceMemo->document());
  all.select(QTextCursor::Document);
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  all.mergeBlockFormat(centred);
  LicenceMemo->moveCursor(QTextCursor::Start);

  AboutLabel = AddLabel(this, "AboutLabel", NetworkNote());
  AboutLabel->setGeometry(8, 448, 497, 91);
  AboutLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  AboutLabel->setWordWrap(true);

  EmailLabel = AddLabel(this, "EmailLabel", Text("kontaktní emailová adresa :"));
  EmailLabel->move(112, 562);
  EmailLabel->adjustSize();

  EmailValue = new LinkLabel(this);
  EmailValue->setObjectName(QStringLiteral("EmailValue"));
  EmailValue->setTextFormat(Qt::PlainText);
  QFont link = WindowFont(Typeface::Tahoma, 13, true);
  link.setUnderline(true);
  EmailValue->setFont(link);
  SetTextColour(EmailValue, 0xFF0000);
  EmailValue->setGeometry(256, 560, 0, QFontMetrics(link).height());
  EmailValue->setCaption(Text(kContactAddress));
  connect(EmailValue, &LinkLabel::clicked, this, &TAboutForm::EmailValueClick);

  CloseButton = new GlowButton(Text("Zavřít"), GlowSet::Window, this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry(373, 556, 137, 25);
  connect(CloseButton, &GlowButton::clicked, this, &TAboutForm::CloseButtonClick);

  QWidget::setTabOrder(CloseButton, LicenceMemo);
  CloseButton->setFocus();

  // Without a settings file the dialog opens where it was designed to, every time.
  if (settings_.noIni) {
    move(kAboutNoIniLeft, kAboutNoIniTop);
  } else {
    ReadFormPos(settings_, kDialogsSection, "TAboutForm", *this);
  }
}

TAboutForm::~TAboutForm() {
  if (gOpenDialog == this) gOpenDialog = nullptr;
}

void TAboutForm::CloseButtonClick() { accept(); }

void TAboutForm::EmailValueClick() {
  // Nothing is reported when no mail program answers.
  QDesktopServices::openUrl(ContactMailUrl());
}

void TAboutForm::done(int result) {
  if (!closed_) {
    closed_ = true;
    if (!settings_.noIni) {
      // An exception must not cross the modal loop; the caller raises it afterwards.
      // The dialog closes regardless: only its position is lost, and a dialog that
      // cannot be closed while the settings file is locked would help nobody.
      try {
        WriteFormPos(settings_, kDialogsSection, "TAboutForm", *this);
      } catch (...) {
        closeFailure_ = std::current_exception();
      }
    }
    if (gOpenDialog == this) gOpenDialog = nullptr;
  }
  QDialog::done(result);
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      // Only the button closes the dialog from the keyboard.
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (focusWidget() == CloseButton) {
        CloseButton->click();
        event->accept();
        return;
      }
      break;
    default:
      break;
  }
  QDialog::keyPressEvent(event);
}

bool AboutOpen() { return gOpenDialog != nullptr; }

void ShowAboutDialog(const SettingsFile& settings, QWidget* parent) {
  if (gOpenDialog) {
    gOpenDialog->raise();
    gOpenDialog->activateWindow();
    return;
  }
  TAboutForm dialog(settings, parent);
  dialog.exec();
  if (dialog.closeFailure()) std::rethrow_exception(dialog.closeFailure());
}

}  // namespace quorvel
