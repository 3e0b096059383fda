#include "ASPSMSSender.h"

#include <nlohmann/json.hpp>

namespace emailmarketing {

namespace {

using Json = nlohmann::ordered_json;

std::string Utf8(const QString& AText) {
    return AText.toStdString();
}

// A member that the service sends as text or as a number, as text; empty when absent.
QString MemberText(const Json& AObject, const char* AName) {
    const auto it = AObject.find(AName);
    if (it == AObject.end() || it->is_null())
        return {};
    if (it->is_string())
        return QString::fromStdString(it->get<std::string>());
    return QString::fromStdString(it->dump());
}

} // namespace

QByteArray TASPSMSSender::SendRequestBody(const QString& AUserName, const QString& APassword,
                                          const QString& AOriginator, const QStringList& ARecipients,
                                          const QString& AText) {
    Json recipients = Json::array();
    for (const QString& recipient : ARecipients)
        recipients.push_back(Utf8(recipient));
    Json body = {{"UserName", Utf8(AUserName)},
                 {"Password", Utf8(APassword)},
                 {"Originator", Utf8(AOriginator)},
                 {"Recipients", recipients},
                 {"MessageText", Utf8(AText)}};
    return QByteArray::fromStdString(body.dump());
}

QByteArray TASPSMSSender::CreditsRequestBody(const QString& AUserName, const QString& APassword) {
    const Json body = {{"UserName", Utf8(AUserName)}, {"Password", Utf8(APassword)}};
    return QByteArray::fromStdString(body.dump());
}

QByteArray TASPSMSSender::Post(const QString& APath, const QByteArray& ABody) {
    hostapi::HttpRequest request;
    request.Method = "POST";
    request.Url = ServiceUrl(APath);
    request.Headers = {{"Content-Type", "application/json; charset=utf-8"}, {"Accept", "application/json"}};
    request.Body = ABody;
    return Execute(request).Body;
}

void TASPSMSSender::CheckStatus(const QByteArray& AAnswer) const {
    const Json answer =
        Json::parse(AAnswer.constData(), AAnswer.constData() + AAnswer.size(), nullptr, false);
    if (!answer.is_object())
        RaiseUnreadableAnswer();
    const QString status = MemberText(answer, "StatusCode");
    if (status == QLatin1String("1"))
        return;
    RaiseRefusal(MemberText(answer, "StatusInfo"), status);
}

void TASPSMSSender::Send() {
    CheckMessage();
    CheckStatus(Post(QStringLiteral("/SendSimpleTextSMS"),
                     SendRequestBody(UserName(), Password(), Originator(), Recipients(), MessageText())));
}

QString TASPSMSSender::CheckCredits() {
    CheckAccount();
    const QByteArray answer =
        Post(QStringLiteral("/CheckCredits"), CreditsRequestBody(UserName(), Password()));
    const Json object = Json::parse(answer.constData(), answer.constData() + answer.size(), nullptr, false);
    if (!object.is_object())
        RaiseUnreadableAnswer();
    const QString credits = MemberText(object, "Credits");
    bool isNumber = false;
    credits.toDouble(&isNumber);
    if (!isNumber) {
        // A refusal carries a status instead of the credits.
        CheckStatus(answer);
        RaiseUnreadableAnswer();
    }
    return credits;
}

} // namespace emailmarketing
