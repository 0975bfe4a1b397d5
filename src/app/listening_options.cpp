#include "app/listening_options.h"

#include "audio/ds_mixer.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>

namespace {

const char* const kHeadphonesHint = "Render the scene for headphones: sounds behind, above and beside you are heard "
                                    "there.";

QString DeviceName(const TMMDSWaveMixer& mixer, int id)
{
    return QString::fromStdString(mixer.Devices().at(static_cast<size_t>(id)).Description);
}

QString CouldNotOpen(const QString& name, const QString& why)
{
    return QStringLiteral("The output device \"%1\" could not be opened (%2); playing on the default device.")
        .arg(name, why);
}

// Only a device asked for headphones tells whether it can render for them:
// a brief open of a closed device answers now rather than at the next Play.
void AskAboutHeadphones(TMMDSWaveMixer& mixer)
{
    if (!mixer.Headphones() || mixer.IsOpen())
        return;
    try {
        mixer.OpenDevice();
        mixer.CloseDevice();
    } catch (const std::exception&) {
    }
}

} // namespace

TListeningOptions::TListeningOptions(TMMDSWaveMixer* mixer, QSettings& settings, TStatus status, QObject* parent)
    : QObject(parent), m_mixer(mixer), m_settings(settings), m_status(std::move(status))
{
}

void TListeningOptions::Restore()
{
    if (!m_mixer)
        return;
    m_mixer->SetHeadphones(m_settings.value(HeadphonesKey, false).toBool());
    const QString wanted = m_settings.value(DeviceKey).toString();
    if (wanted.isEmpty()) {
        AskAboutHeadphones(*m_mixer);
        return;
    }
    const int count = static_cast<int>(m_mixer->Devices().size());
    for (int id = 1; id < count; ++id) {
        if (DeviceName(*m_mixer, id) != wanted)
            continue;
        try {
            m_mixer->SetDeviceID(id);
        } catch (const std::exception& error) {
            UseDefaultDevice(CouldNotOpen(wanted, QString::fromLocal8Bit(error.what())));
        }
        AskAboutHeadphones(*m_mixer);
        return;
    }
    // The name stays kept: the device may be back at the next start.
    UseDefaultDevice(
        QStringLiteral("The output device \"%1\" is not connected; playing on the default device.").arg(wanted));
    AskAboutHeadphones(*m_mixer);
}

void TListeningOptions::UseDefaultDevice(const QString& why)
{
    // Closed, it only takes the choice; open (a device that opened but
    // failed later), it reopens on the default and plays on there.
    try {
        m_mixer->ReopenDevice([&] { m_mixer->SetDeviceID(0); });
    } catch (const std::exception& error) {
        m_status(why + QStringLiteral(" The default device could not be opened either: ") +
                 QString::fromLocal8Bit(error.what()));
        return;
    }
    m_status(why);
}

void TListeningOptions::SetHeadphones(bool on)
{
    m_settings.setValue(HeadphonesKey, on);
    if (!m_mixer)
        return;
    m_mixer->ReopenDevice([&] { m_mixer->SetHeadphones(on); });
    AskAboutHeadphones(*m_mixer);
    const QString why = QString::fromStdString(m_mixer->HeadphonesUnavailable());
    if (on && !why.isEmpty())
        m_status(QStringLiteral("Headphones (3D audio) are not available: %1 Playing plain stereo.").arg(why));
    else
        m_status(on ? QStringLiteral("Headphones (3D audio) on.") : QStringLiteral("Headphones (3D audio) off."));
}

bool TListeningOptions::UpdateHeadphones(QAction* action) const
{
    const QString why = m_mixer ? QString::fromStdString(m_mixer->HeadphonesUnavailable())
                                : QStringLiteral("There is no sound device.");
    action->setChecked(m_mixer && m_mixer->Headphones() && why.isEmpty());
    action->setToolTip(why.isEmpty() ? QString::fromLatin1(kHeadphonesHint) : why);
    return why.isEmpty();
}

QMenu* TListeningOptions::DeviceMenu(QWidget* parent)
{
    auto* menu = new QMenu(QStringLiteral("Output Device"), parent);
    menu->setObjectName("OutputDeviceMenu");
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillDeviceMenu(menu); });
    FillDeviceMenu(menu);
    return menu;
}

void TListeningOptions::FillDeviceMenu(QMenu* menu)
{
    // The old items and their group go; the list may have changed.
    menu->clear();
    delete menu->findChild<QActionGroup*>(QString(), Qt::FindDirectChildrenOnly);
    const int count = m_mixer ? static_cast<int>(m_mixer->Devices().size()) : 0;
    menu->setEnabled(count > 1);
    auto* group = new QActionGroup(menu);
    for (int id = 0; id < count; ++id) {
        const QString name = DeviceName(*m_mixer, id);
        QAction* action = menu->addAction(id == 0 ? QStringLiteral("Default (%1)").arg(name) : name);
        action->setObjectName(QStringLiteral("OutputDevice%1").arg(id));
        action->setCheckable(true);
        action->setChecked(id == m_mixer->DeviceID());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, id] { ChooseDevice(id); });
        if (id == 0)
            menu->addSeparator();
    }
}

void TListeningOptions::ChooseDevice(int id)
{
    if (!m_mixer || id == m_mixer->DeviceID())
        return;
    const QString name = id == 0 ? QString() : DeviceName(*m_mixer, id);
    // Kept even when it fails: the device may open at the next start.
    m_settings.setValue(DeviceKey, name);
    // A device that cannot be opened leaves the default in its place
    // within the same reopen, so that what was playing plays on there.
    QString failure;
    try {
        m_mixer->ReopenDevice([&] {
            try {
                m_mixer->SetDeviceID(id);
            } catch (const std::exception& error) {
                failure = QString::fromLocal8Bit(error.what());
                m_mixer->SetDeviceID(0);
            }
        });
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    }
    if (failure.isEmpty()) {
        m_status(QStringLiteral("Playing on %1.").arg(DeviceName(*m_mixer, id)));
        return;
    }
    const QString why = CouldNotOpen(name, failure);
    if (m_mixer->DeviceID() == 0)
        m_status(why);
    else
        UseDefaultDevice(why);
}
