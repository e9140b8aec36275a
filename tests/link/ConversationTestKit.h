#pragma once

// The built-in device model, and conversations that record captions, progress and questions.

#include "link/uf_DataSender_Conversations.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/MessageBox.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

inline std::unique_ptr<TDataManager> BuiltInModel()
{
    TfDM dm;
    dm.XML.Open();
    const QDomElement manager = dm.XML.DocumentElement()
                                    .firstChildElement(QStringLiteral("device_mapping"))
                                    .firstChildElement(QStringLiteral("datamanager"));
    return std::make_unique<TDataManager>(manager);
}

struct TQuestion
{
    QString Text;
    QString Caption;
    unsigned Flags = 0;
};

class TRecordingConversations : public TDataSenderConversations
{
public:
    using TDataSenderConversations::TDataSenderConversations;

    QStringList Captions;
    std::vector<int> Progress;
    std::vector<TQuestion> Questions;
    std::function<int(const TQuestion&)> Answer = [](const TQuestion&) { return int(platform::IDYES); };
    std::function<void(const QString&)> OnCaption;

    void SetCaption(const QString& Text) override
    {
        Captions << Text;
        if (OnCaption)
            OnCaption(Text);
    }
    void SetProgress(uint8_t Value) override { Progress.push_back(Value); }

protected:
    void ShowSearchingLook() override {}
    void ShowTransferLook() override {}
    void StartAnimation() override {}
    void StopAnimation() override {}
    void RunMessages() override {}
    int Ask(const QString& Text, const QString& Caption, unsigned Flags) override
    {
        Questions.push_back({Text, Caption, Flags});
        return Answer(Questions.back());
    }
};
