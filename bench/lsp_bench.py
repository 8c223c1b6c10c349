#!/usr/bin/env python3
"""Figures of ostrel-check --lsp on a 2,000-line Info.plist: how long after the
debounce the diagnostics of an edit come, how long completion takes, and the
server's memory over 10,000 edits. Usage: bench/lsp_bench.py BUILD/src/cli/ostrel-check"""
import json, os, select, statistics, subprocess, sys, tempfile, time

DEBOUNCE_MS = 150  # the server's, see src/lsp/Server.h


def document():
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<plist version="1.0">', '<dict>',
             '\t<key>CFBundleIdentifier</key>', '\t<string>com.example.big</string>',
             '\t<key>CFBundlePackageType</key>', '\t<string>APPL</string>',
             '\t<key>CFBundleDocumentTypes</key>', '\t<array>']
    i = 0
    while len(lines) < 1990:
        lines += ['\t\t<dict>', '\t\t\t<key>CFBundleTypeName</key>', f'\t\t\t<string>Type {i}</string>',
                  '\t\t\t<key>CFBundleTypeRole</key>', '\t\t\t<string>Editor</string>', '\t\t</dict>']
        i += 1
    lines += ['\t</array>', '</dict>', '</plist>', '']
    return '\n'.join(lines)


class Client:
    def __init__(self, program):
        self.p = subprocess.Popen([program, '--lsp'], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.buf = b''
        self.next_id = 1

    def send(self, obj):
        obj['jsonrpc'] = '2.0'
        body = json.dumps(obj).encode()
        self.p.stdin.write(b'Content-Length: %d\r\n\r\n' % len(body) + body)
        self.p.stdin.flush()

    def receive(self, timeout=30):
        end = time.monotonic() + timeout
        while True:
            head = self.buf.find(b'\r\n\r\n')
            if head >= 0:
                n = int(self.buf[:head].split(b':')[1])
                if len(self.buf) >= head + 4 + n:
                    body, self.buf = self.buf[head + 4:head + 4 + n], self.buf[head + 4 + n:]
                    return json.loads(body)
            ready, _, _ = select.select([self.p.stdout], [], [], max(0, end - time.monotonic()))
            if not ready:
                raise TimeoutError('no answer from the server')
            self.buf += os.read(self.p.stdout.fileno(), 1 << 16)

    def request(self, method, params):
        self.next_id += 1
        self.send({'id': self.next_id, 'method': method, 'params': params})
        while True:
            message = self.receive()
            if message.get('id') == self.next_id:
                return message

    def diagnostics(self):
        while True:
            message = self.receive()
            if message.get('method') == 'textDocument/publishDiagnostics':
                return message['params']

    def rss_kib(self):
        with open(f'/proc/{self.p.pid}/status') as status:
            return next(int(line.split()[1]) for line in status if line.startswith('VmRSS:'))


def main():
    client = Client(sys.argv[1])
    text = document()
    uri = 'file://' + os.path.join(tempfile.gettempdir(), 'Bench.plist')
    client.request('initialize', {'processId': os.getpid(), 'capabilities': {}})
    client.send({'method': 'textDocument/didOpen',
                 'params': {'textDocument': {'uri': uri, 'languageId': 'xml', 'version': 1, 'text': text}}})
    opened = client.diagnostics()
    version = 1
    line = 12  # a CFBundleTypeName value deep in the array

    def edit(value):
        nonlocal version
        version += 1
        client.send({'method': 'textDocument/didChange',
                     'params': {'textDocument': {'uri': uri, 'version': version},
                                'contentChanges': [{'range': {'start': {'line': line, 'character': 0},
                                                              'end': {'line': line + 1, 'character': 0}},
                                                    'text': f'\t\t\t<string>{value}</string>\n'}]}})

    after = []
    for i in range(20):
        started = time.monotonic()
        edit(f'Edited {i}')
        published = client.diagnostics()
        assert published['version'] == version
        after.append((time.monotonic() - started) * 1000 - DEBOUNCE_MS)
    print(f'document: {text.count(chr(10))} lines, {len(opened["diagnostics"])} diagnostics')
    print(f'diagnostics after the debounce: median {statistics.median(after):.1f} ms, max {max(after):.1f} ms')

    completion = []
    for _ in range(200):
        started = time.monotonic()
        answer = client.request('textDocument/completion',
                                {'textDocument': {'uri': uri}, 'position': {'line': 3, 'character': 6}})
        completion.append((time.monotonic() - started) * 1000)
    items = len(answer['result'])
    print(f'completion of a top-level key ({items} items): median {statistics.median(completion):.2f} ms, max {max(completion):.2f} ms')

    rss = [client.rss_kib()]
    for batch in range(100):
        for i in range(100):
            edit(f'Batch {batch} edit {i}')
        client.diagnostics()
        if batch in (9, 99):
            rss.append(client.rss_kib())
    print(f'resident memory: {rss[0]} KiB after opening, {rss[1]} KiB after 1,000 edits, {rss[2]} KiB after 10,000')
    client.request('shutdown', {})
    client.send({'method': 'exit'})
    print(f'exit status: {client.p.wait()}')


if __name__ == '__main__':
    main()
