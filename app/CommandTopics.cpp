#include "app/CommandTopics.h"

#include "app/CommandProtocol.h"
#include "app/frmMain.h"
#include "session/SessionCommand.h"

namespace {

CommandReply replyOf(bool accepted) {
    return accepted ? CommandReply::Accepted : CommandReply::Refused;
}

} // namespace

CommandReply executeCommand(frmMain& main, const QString& topic, const QString& command) {
    if (topic.compare(QLatin1String(command_protocol::kSystemTopic), Qt::CaseInsensitive) == 0) {
        if (!isAppExitCommand(command))
            return CommandReply::Refused;
        main.requestDeferredExit();
        return CommandReply::Accepted;
    }
    // Two sessions on the same connector share a topic; the older window answers.
    for (frmDocument* session : main.documents()) {
        if (session->linkTopic().compare(topic, Qt::CaseInsensitive) == 0)
            return replyOf(executeSessionCommand(*session, command));
    }
    return CommandReply::NoSuchTopic;
}
