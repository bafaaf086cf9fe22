// Form rows: name; folder with its picker; command with the path inserter; the save button.
#include "views/CommandForm.h"

#include "services/CommandsService.h"
#include "views/DarkField.h"
#include "views/IconButton.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Writes the service's value into a field only when it differs, so typing keeps its cursor.
void showValue(DarkField* field, const QString& value) {
    if (field->text() != value)
        field->setText(value);
}

} // namespace

CommandForm::CommandForm(CommandsService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);

    m_name = new DarkField(QStringLiteral("Name (e.g. LumenCrate)"), this);
    m_name->setObjectName(QStringLiteral("draftName"));
    column->addWidget(m_name);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(6);
    m_folder = new DarkField(QStringLiteral("Folder to run in (optional — click the folder)"), this);
    m_folder->setObjectName(QStringLiteral("draftFolder"));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(new IconButton(
        QStringLiteral("folder.fill"), QStringLiteral("Choose the folder the command runs in"), Qt::white,
        [this] { m_service.pickFolderForDraft(); }, this));
    column->addLayout(folderRow);

    auto* commandRow = new QHBoxLayout;
    commandRow->setSpacing(6);
    m_command = new DarkField(QStringLiteral("Command (e.g. npm run dev)"), this);
    m_command->setObjectName(QStringLiteral("draftCommand"));
    commandRow->addWidget(m_command, 1);
    commandRow->addWidget(new IconButton(
        QStringLiteral("folder.badge.plus"), QStringLiteral("Insert a path into the command"), Qt::white,
        [this] { m_service.pickPathIntoDraft(); }, this));
    column->addLayout(commandRow);

    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch(1);
    m_save = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("saveDraft"));
    m_save->setFlat(true);
    m_save->setCursor(Qt::PointingHandCursor);
    QFont saveFont = m_save->font();
    saveFont.setPixelSize(11);
    saveFont.setWeight(QFont::DemiBold);
    m_save->setFont(saveFont);
    m_save->setStyleSheet(QStringLiteral("QPushButton { color: white; background: rgba(255, 255, 255, 41);"
                                         " border: none; border-radius: 10px; padding: 5px 12px; }"));
    connect(m_save, &QPushButton::clicked, this, [this] { m_service.saveDraft(); });
    // Return in any field saves, as the button does; an incomplete form stays open as it is.
    for (DarkField* field : {m_name, m_folder, m_command})
        connect(field, &QLineEdit::returnPressed, this, [this] { m_service.saveDraft(); });
    saveRow->addWidget(m_save);
    column->addLayout(saveRow);

    connect(m_name, &QLineEdit::textEdited, &m_service, &CommandsService::setDraftName);
    connect(m_folder, &QLineEdit::textEdited, &m_service, &CommandsService::setDraftFolder);
    connect(m_command, &QLineEdit::textEdited, &m_service, &CommandsService::setDraftCommand);
    for (auto signal : {&CommandsService::draftNameChanged, &CommandsService::draftFolderChanged,
                        &CommandsService::draftCommandChanged, &CommandsService::editingIDChanged})
        connect(&m_service, signal, this, &CommandForm::syncFromService);
    syncFromService();
}

void CommandForm::syncFromService() {
    showValue(m_name, m_service.draftName());
    showValue(m_folder, m_service.draftFolder());
    showValue(m_command, m_service.draftCommand());
    m_save->setText(m_service.editingID().isNull() ? tr("Save") : tr("Update"));
}

void CommandForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 8, 8);
    p.fillPath(path, QColor(255, 255, 255, 13));
}
