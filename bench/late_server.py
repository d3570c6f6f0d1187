"""Serves bench/pages and answers /img/N.svg after a delay: the late pictures
of pages/late_images.html. python3 late_server.py PORT DELAY_SECONDS"""
import http.server, os, sys, time

class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith('/img/'):
            time.sleep(float(sys.argv[2]))
            hue = (int(self.path[5:].split('.')[0]) * 37) % 360
            body = ('<svg xmlns="http://www.w3.org/2000/svg" width="300" height="200">'
                    f'<rect width="300" height="200" fill="hsl({hue},90%,45%)"/></svg>').encode()
            self.send_response(200)
            self.send_header('Content-Type', 'image/svg+xml')
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()

    def log_message(self, *args):
        pass

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'pages'))
http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), Handler).serve_forever()
