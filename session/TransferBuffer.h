#pragma once
// A session's byte queue between its serial side and its network side: a fixed capacity set at
// activation, appends that store what fits, and takes from the front. Stored as a ring, so a
// partial take costs only the bytes taken, whatever the queue holds behind them.

#include <QByteArray>

class TransferBuffer {
public:
    // Empties the queue and gives it a new capacity (the storage is allocated here only).
    void reset(int capacity);

    int capacity() const { return capacity_; }
    int count() const { return count_; }
    int room() const { return capacity_ - count_; }
    bool isEmpty() const { return count_ == 0; }

    // Stores the first bytes of data that fit; returns how many were stored.
    int append(const char* data, int size);
    int append(const QByteArray& data) { return append(data.constData(), int(data.size())); }

    // Takes numBytes from the front (-1: everything), fewer when the queue holds fewer;
    // numBytes tells on return how many were taken. Taking 0 changes nothing.
    QByteArray take(int& numBytes);
    // The first size bytes without taking them (fewer when the queue holds fewer).
    QByteArray peek(int size) const;
    // The longest run of bytes at the front that lies in one piece of storage, without copying
    // it; valid until the next append, take or discard.
    QByteArray frontSpan() const;
    // Drops size bytes from the front.
    void discard(int size);
    void clear() { head_ = count_ = 0; }

private:
    QByteArray storage_;
    int capacity_ = 0;
    int head_ = 0; // index of the first byte held
    int count_ = 0;
};
