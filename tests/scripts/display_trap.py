"""Plays somebody else's X display: listens on a free display number in the
abstract socket namespace (where X clients look first, leaving no file
behind), writes the number to NUMBER_FILE, and logs every client that
connects to LOG_FILE, answering nothing. Runs until it is killed.
Usage: display_trap.py NUMBER_FILE LOG_FILE"""
import os
import socket
import sys

number_file, log_file = sys.argv[1], sys.argv[2]
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
for number in range(300, 400):
    if os.path.exists(f"/tmp/.X11-unix/X{number}"):
        continue
    try:
        listener.bind(f"\0/tmp/.X11-unix/X{number}")
        break
    except OSError:
        continue
else:
    sys.exit("display_trap: no free display number in 300-399")
listener.listen(16)
with open(number_file, "w", encoding="ascii") as out:
    out.write(f"{number}\n")
while True:
    client, _ = listener.accept()
    with open(log_file, "a", encoding="ascii") as log:
        log.write("a client connected\n")
    client.close()
