#!/usr/bin/perl -w
# This script was dynamicaly created by  <a href="http://tabulo.example.org/update.cgi"> tabulo</a>
# If you can read this then chmod 755 upload.cgi
# and do have perl on server side please.
use CGI; use CGI::Carp qw(fatalsToBrowser); my $q = new CGI; 
my $fh=$q->upload("upload"); 
$filename= $q->param("upload"); $filename =~ s/.*[\/\\](.*)/$1/; 
print "Content-type:text/html\n\n"; 
if (!$fh || !defined $filename || $filename eq '' || $filename =~ /^\.|[\/\\\x00-\x1f]/) { print "<HTML><BODY>Upload refused: no file, or a name that is not allowed.</BODY></HTML>"; exit; } 
my $h = $filename; $h =~ s/&/&amp;/g; $h =~ s/</&lt;/g; $h =~ s/>/&gt;/g; $h =~ s/"/&quot;/g; 
print "<HTML><HEAD><link rel=\"stylesheet\" href=\"index.css\"></HEAD><BODY><center>",$h; 
open(TRGFILE, '>', "upload/$filename") || die "Can't store the file."; binmode(TRGFILE); binmode($fh); 
while(<$fh>){ print TRGFILE; }; 
close(TRGFILE); 
print "  Sucessfully uploaded.<br>\n"; 
print "<h2><a href=\"index.html\">Back.</a></center></body></html>"; 
