#pragma once

#include <QPixmap>
#include <QString>
#include <QVector>

#include <functional>

class TCoolImages;

// One picture of a collection.
struct TImageItem {
    QPixmap Picture;
    QString Name;
};

// A control's subscription to a picture collection. It unregisters itself
// when destroyed, and is cut loose (Sender becomes null) when the collection
// goes first, so neither side can reach a destroyed partner.
class TCoolChangeLink {
public:
    TCoolChangeLink() = default;
    ~TCoolChangeLink();
    TCoolChangeLink(const TCoolChangeLink &) = delete;
    TCoolChangeLink &operator=(const TCoolChangeLink &) = delete;

    TCoolImages *Sender() const { return fSender; }
    std::function<void()> OnChange;

private:
    friend class TCoolImages;
    TCoolImages *fSender = nullptr;
};

// A collection of pictures that controls refer to by index. Every change is
// announced to the registered links so their controls can repaint.
class TCoolImages {
public:
    TCoolImages() = default;
    ~TCoolImages();
    TCoolImages(const TCoolImages &) = delete;
    TCoolImages &operator=(const TCoolImages &) = delete;

    int Count() const { return static_cast<int>(fItems.size()); }
    // A null picture for an index outside the collection.
    QPixmap Picture(int index) const;
    int Add(const QPixmap &picture, const QString &name = {});
    void SetPicture(int index, const QPixmap &picture);
    void Delete(int index);
    void Clear();

    void RegisterChanges(TCoolChangeLink *link);
    void UnRegisterChanges(TCoolChangeLink *link);

private:
    void changed();

    QVector<TImageItem> fItems;
    QVector<TCoolChangeLink *> fLinks;
};
