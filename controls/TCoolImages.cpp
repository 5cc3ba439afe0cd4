#include "TCoolImages.h"

TCoolChangeLink::~TCoolChangeLink() {
    if (fSender)
        fSender->UnRegisterChanges(this);
}

TCoolImages::~TCoolImages() {
    for (TCoolChangeLink *link : fLinks)
        link->fSender = nullptr;
}

QPixmap TCoolImages::Picture(int index) const {
    if (index < 0 || index >= fItems.size())
        return {};
    return fItems[index].Picture;
}

int TCoolImages::Add(const QPixmap &picture, const QString &name) {
    fItems.append({picture, name});
    changed();
    return Count() - 1;
}

void TCoolImages::SetPicture(int index, const QPixmap &picture) {
    if (index < 0 || index >= fItems.size())
        return;
    fItems[index].Picture = picture;
    changed();
}

void TCoolImages::Delete(int index) {
    if (index < 0 || index >= fItems.size())
        return;
    fItems.removeAt(index);
    changed();
}

void TCoolImages::Clear() {
    if (fItems.isEmpty())
        return;
    fItems.clear();
    changed();
}

void TCoolImages::RegisterChanges(TCoolChangeLink *link) {
    if (!link || link->fSender == this)
        return;
    if (link->fSender)
        link->fSender->UnRegisterChanges(link);
    link->fSender = this;
    fLinks.append(link);
}

void TCoolImages::UnRegisterChanges(TCoolChangeLink *link) {
    if (!link || link->fSender != this)
        return;
    fLinks.removeAll(link);
    link->fSender = nullptr;
}

void TCoolImages::changed() {
    // A handler may unregister links; walk a copy.
    const auto links = fLinks;
    for (TCoolChangeLink *link : links) {
        if (link->fSender == this && link->OnChange)
            link->OnChange();
    }
}
