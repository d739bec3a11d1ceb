#!/usr/bin/perl
# This script was dynamicaly created by  <a href="http://tabulo.example.org/update.cgi"> tabulo</a>
# If you can read this then chmod 755 index.cgi
# and do have perl on server side please.
$dirname = 'upload/';
 opendir( HDir, $dirname ) || die "Can\'t open directory $dirname.\n"; 
 @entries = grep( !/^\.\.?$/, readdir( HDir ) );
 closedir HDir;
 @srtd=sort @entries;
print "Content-type: text/html; charset=UTF-8\n\n"; 
print "<HTML><HEAD><TITLE>upload</TITLE>\n"; 
print "<link rel=\"stylesheet\" href=\"index.css\">";
print "</HEAD><BODY>";
print "<H1 align =\"center\">upload</H1>\n"; 
print "<center><table border=\"1\" cellspacing=\"0\" >\n"; 
foreach (@srtd) { &doline($_); }
print "</table></center>";
print "<p align=\"center\"><i><font size=\"2\">Genererated with <a href=\"http://tabulo.example.org/update.cgi?v=42\"> tabulo</a> by <a href=\"http://tabulo.example.org/\">Quennel</a> on 12-06-2026</font></i></p>"; 
print "</body></html>";
exit;
sub cella
{       print "<td>"; 
        print @_;
        print "</td>"; }
sub doline
{       print "<tr>"; 
~/.*\.(.*)/;
        my ($e, $u, $h) = ($1, @_, @_); $e =~ s/([^A-Za-z0-9\-._~])/sprintf("%%%02X", ord($1))/ge; $u =~ s/([^A-Za-z0-9\-._~])/sprintf("%%%02X", ord($1))/ge;
        $h =~ s/&/&amp;/g; $h =~ s/</&lt;/g; $h =~ s/>/&gt;/g; $h =~ s/"/&quot;/g;
        &cella("<a href=\"upload/$u\"><img height=\"16\" width=\"16\" border=\"0\"  alt=\"${e}\" src=\"pics/icons/${e}.gif\"> $h</a>"); &cella($h); 
   print "</tr>\n";} 
