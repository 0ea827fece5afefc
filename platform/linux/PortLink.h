#pragma once
// The name COMn of a virtual port: the link <ports folder>/COMn to the pty that an application
// opens, and the marker beside it that tells this program's links apart from a user's mapping
// (PortMarker). A name is free when nothing is there, or when it is a link of ours whose owner
// is gone (pts numbers are reused at once, so such a link may point at someone else's pty).

#include <QString>
#include <optional>

class PortLink {
public:
    // Makes COMn point at target, recording both of the port's ptys (target and other) as its
    // own; nullopt with the reason in *error when the name is taken.
    static std::optional<PortLink> claim(int n, const QString& target, const QString& other,
                                         QString* error);
    // Removes the links of programs that are no longer running, never a user's mapping or a
    // link of a running program. False, with the reason in *error, when one could not go.
    static bool removeStale(QString* error);

    // "COMn".
    QString name() const;

    // Points the link at the port's other pty, in one step for anyone opening COMn. Fails
    // when the link is no longer ours (a user has put a mapping of their own in its place).
    bool repoint(const QString& target, QString* error);
    // Records a new pair of ptys after one was replaced; the link points at target.
    bool renew(const QString& target, const QString& other, QString* error);
    // Removes the link and its marker where they are still ours; false when the link could not
    // be removed.
    bool release(QString* error);

private:
    PortLink(int n, QString target);
    bool stillOurs() const;

    int n_ = 0;
    QString target_; // where the link points
};
