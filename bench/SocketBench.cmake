# SocketBench
