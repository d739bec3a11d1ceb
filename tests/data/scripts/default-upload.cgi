#!/usr/bin/perl -w
# This script was dynamicaly created by  <a href="http://tabulo.example.org/update.cgi"> tabulo</a>
# If you can read this then chmod 755 upload.cgi
# and do have perl on server side please.
use strict; use CGI; use Fcntl qw(O_WRONLY O_CREAT O_EXCL);
$CGI::POST_MAX = 100 * 1024 * 1024;  # <== the largest upload in bytes: change it here
my $dir = "upload";
my %runnable = map { $_ => 1 } qw(cgi fcgi pl pm php php3 php4 php5 php7 php8 phar phtml pht phps py rb sh shtml shtm stm asp aspx jsp jspx cfm htaccess htpasswd);
my %reserved = map { lc($_) => 1 } ("desc.txt", "snap.gif", "index.html", "index.css", "index.cgi", "upload.cgi");
my %written = map { lc($_) => 1 } ("index.json", "MD5SUMS", "SHA256SUMS");
my $head = "<HTML><HEAD><link rel=\"stylesheet\" href=\"index.css\"></HEAD><BODY><center>";
my $back = "<h2><a href=\"index.html\">Back.</a></center></body></html>";
sub html { my $h = shift; $h =~ s/&/&amp;/g; $h =~ s/</&lt;/g; $h =~ s/>/&gt;/g; $h =~ s/"/&quot;/g; return $h; }
sub refuse { my ($status, $text, $detail) = @_; warn "upload: $detail\n" if defined $detail; print "Status: $status\nContent-type: text/html; charset=UTF-8\n\n$head", html($text), "<br>\n$back"; exit; }
my $q = CGI->new;
if (my $error = $q->cgi_error) { my $big = $error =~ /^413/; refuse($big ? "413 Request Entity Too Large" : "400 Bad Request", $big ? "Upload refused: the file is larger than this site takes." : "Upload refused: the request could not be read.", $error); }
my $fh = $q->upload("upload");
refuse("400 Bad Request", "Upload refused: no file was sent.") unless $fh;
my $filename = "$fh"; $filename =~ s/.*[\/\\]//s;
refuse("403 Forbidden", "Upload refused: a name that is not allowed.") if $filename eq '' || $filename =~ /^\.|[\x00-\x1f\x7f]/;
my @ext = split /\./, lc $filename; shift @ext;
refuse("403 Forbidden", "Upload refused: the web server might run a file named $filename.") if grep { $runnable{$_} } @ext;
refuse("403 Forbidden", "Upload refused: the index pages read a file named $filename.") if $reserved{lc $filename} || $filename =~ /^readme(?:\.|\z)/i;
refuse("403 Forbidden", "Upload refused: tabulo writes a file named $filename.") if $written{lc $filename};
sysopen(my $out, "$dir/$filename", O_WRONLY | O_CREAT | O_EXCL, 0644) or refuse($!{EEXIST} ? "409 Conflict" : "500 Internal Server Error", $!{EEXIST} ? "Upload refused: a file named $filename is there already; nothing was replaced." : "The file could not be stored.", "$dir/$filename: $!");
binmode($out); binmode($fh); my ($buf, $n);
while ($n = read($fh, $buf, 65536)) { last unless print $out $buf; }
unless (defined $n && $n == 0 && close($out)) { my $e = $!; unlink("$dir/$filename"); refuse("500 Internal Server Error", "The file could not be stored.", "$dir/$filename: $e"); }
print "Content-type: text/html; charset=UTF-8\n\n$head", html($filename);
print "  Sucessfully uploaded.<br>\n";
print $back;
