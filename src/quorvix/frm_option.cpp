#include "quorvix/frm_option.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "quorvix/quorvix_settings.h"

namespace mervok::quorvix {

namespace {

// The search reads at most this much of "DocType".
constexpr int kMaxDocTypeLength = 511;

}  // namespace

frmOption::frmOption(SettingsStore& ini, QWidget* parent) : QDialog(parent), mIni(ini) {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("Quorvix のオプション"));
    const ViewerOptions options = ReadViewerOptions(ini);

    auto* layout = new QVBoxLayout(this);
    auto* lblDocType = new QLabel(QStringLiteral("文書として扱う拡張子(&D):"), this);
    lblDocType->setObjectName(QStringLiteral("lblDocType"));
    txtDocType = new QLineEdit(QString::fromStdString(options.docTypes), this);
    txtDocType->setObjectName(QStringLiteral("txtDocType"));
    txtDocType->setMaxLength(kMaxDocTypeLength);
    lblDocType->setBuddy(txtDocType);
    auto* lblDocTypeHint =
        new QLabel(QStringLiteral("空白で区切って並べます (例: HLP DOC HTM HTML CHM)。\n"
                                  "TXT は指定しなくても常に文書として扱います。"),
                   this);
    lblDocTypeHint->setObjectName(QStringLiteral("lblDocTypeHint"));
    chkPrevInstance = new QCheckBox(
        QStringLiteral("ウィンドウを一つだけ開き、後から開く書庫もそこに表示する(&S)"), this);
    chkPrevInstance->setObjectName(QStringLiteral("chkPrevInstance"));
    chkPrevInstance->setChecked(options.prevInstance);
    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    // Settings someone else controls are neither read nor written.
    lblError->setText(QString::fromStdString(SettingsRefusalText(ini.Trust(), ini.Path())));
    lblError->setVisible(!lblError->text().isEmpty());
    mShownDocTypes = txtDocType->text();
    mDocTypes = options.docTypes;

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    QPushButton* btnCancel =
        buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &frmOption::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    layout->addWidget(lblDocType);
    layout->addWidget(txtDocType);
    layout->addWidget(lblDocTypeHint);
    layout->addSpacing(8);
    layout->addWidget(chkPrevInstance);
    layout->addStretch();
    layout->addWidget(lblError);
    layout->addWidget(buttons);
    resize(460, sizeHint().height());
}

void frmOption::btnOK_Click() {
    // A value in another encoding than UTF-8 stays as it was unless edited.
    const ViewerOptions options{txtDocType->text() == mShownDocTypes
                                    ? mDocTypes
                                    : txtDocType->text().simplified().toStdString(),
                                chkPrevInstance->isChecked()};
    if (!WriteViewerOptions(mIni, options)) {
        lblError->setText(QStringLiteral("設定を書き込めませんでした: %1")
                              .arg(QFile::decodeName(QByteArray::fromStdString(mIni.Path()))));
        lblError->show();
        return;
    }
    accept();
}

}  // namespace mervok::quorvix
