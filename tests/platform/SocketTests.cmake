# SocketTests
